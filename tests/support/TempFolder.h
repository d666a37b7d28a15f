// A private temporary folder for one test, removed with everything in it, and
// an environment variable set for the test's duration.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>

struct TempFolder {
    std::filesystem::path path;

    // A new folder of a random name (create_directory refuses one that exists).
    TempFolder()
    {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() / ("quorvel-test-" + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) {
                std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, ec);
                path = candidate;
                return;
            }
        }
        throw std::runtime_error("cannot create a temporary folder");
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string str() const { return path.string(); }

    // Writes `text` to the file at `relative`, creating the folders on the way.
    void Write(const std::string& relative, const std::string& text) const
    {
        const auto file = path / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    void MakeFolder(const std::string& relative) const { std::filesystem::create_directories(path / relative); }
    void Link(const std::string& relative, const std::string& target) const
    {
        std::filesystem::create_directories((path / relative).parent_path());
        std::filesystem::create_symlink(target, path / relative);
    }
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(name, value.c_str());
    }
    ~ScopedEnv() { Set(name_, old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    // Sets `name`, or removes it when `value` is null.
    static void Set(const char* name, const char* value)
    {
#ifdef _WIN32
        _putenv_s(name, value ? value : "");
#else
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
#endif
    }

    const char* name_;
    std::optional<std::string> old_;
};
