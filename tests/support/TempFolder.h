// A private temporary folder for one test, removed with everything in it, and
// an environment variable set for the test's duration.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

struct TempFolder {
    std::filesystem::path path;

    TempFolder()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
        if (!mkdtemp(templ.data())) throw std::runtime_error("cannot create a temporary folder");
        path = templ;
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
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};
