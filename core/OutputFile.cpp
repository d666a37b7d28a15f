#include "OutputFile.h"

#include "serial/FileSync.h"
#include "serial/SystemInfo.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace outfile {

namespace fs = std::filesystem;

namespace {

std::string Cannot(const std::string& path, const std::string& why) { return "cannot write " + path + ": " + why; }

// What stands at `path` when it is no regular file (on Windows also a device
// name); empty when nothing or a regular file does.
std::string Occupant(const fs::path& path)
{
    if (WindowsBuild && IsWindowsDeviceName(path.string()))
        return "Windows takes this name for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, also with an "
               "extension); choose another name";
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || status.type() == fs::file_type::not_found || fs::is_regular_file(status)) return {};
    if (fs::is_symlink(status)) return "it is a symbolic link; name the file itself";
    if (fs::is_directory(status)) return "it is a folder";
    return "it is a device or other special file";
}

fs::path Folder(const fs::path& path) { return path.has_parent_path() ? path.parent_path() : fs::path("."); }

}  // namespace

bool IsWindowsDeviceName(std::string_view path)
{
    // The name after the last separator (a drive's colon counts as one, a
    // device's trailing colon does not), up to its first dot, without
    // trailing spaces.
    if (path.ends_with(':')) path.remove_suffix(1);
    std::string_view name = path.substr(path.find_last_of("/\\:") + 1);
    name = name.substr(0, name.find('.'));
    name = name.substr(0, name.find_last_not_of(' ') + 1);
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    static constexpr std::array<std::string_view, 6> Devices{"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (std::find(Devices.begin(), Devices.end(), upper) != Devices.end()) return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1' &&
           upper[3] <= '9';
}

bool CheckDestination(const std::string& path, std::string& error)
{
    if (const std::string occupant = Occupant(path); !occupant.empty()) {
        error = Cannot(path, occupant);
        return false;
    }
    std::error_code ec;
    const bool exists = fs::exists(fs::symlink_status(path, ec));
    // Opening for append changes nothing; a new name is created and removed.
    std::FILE* file = std::fopen(path.c_str(), exists ? "ab" : "wbx");
    if (!file) {
        error = Cannot(path, std::strerror(errno));
        return false;
    }
    std::fclose(file);
    if (!exists) std::remove(path.c_str());
    return true;
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    // Names not taken yet: the same once links and dots are resolved.
    const auto resolved = [](const std::string& path) {
        std::error_code ignored;
        return fs::weakly_canonical(fs::absolute(path, ignored), ignored).lexically_normal();
    };
    return resolved(a) == resolved(b);
}

bool WriteWhole(const std::string& path, std::string_view bytes, std::string& error)
{
    if (const std::string occupant = Occupant(path); !occupant.empty()) {
        error = Cannot(path, occupant);
        return false;
    }
    std::random_device random;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x.part", static_cast<unsigned>(random()));
    const std::string part = path + suffix;
    std::FILE* file = std::fopen(part.c_str(), "wbx");
    if (!file) {
        error = Cannot(path, std::strerror(errno));
        return false;
    }
    errno = 0;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    std::string why = ok ? std::string() : std::strerror(errno ? errno : EIO);
    ok = ok && filesync::Sync(part, why);
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        why = std::strerror(errno);
    }
    // std::filesystem replaces an existing file on every system (the C
    // library's rename refuses to on Windows).
    std::error_code renamed;
    if (ok) std::filesystem::rename(part, path, renamed);
    if (ok && renamed) {
        ok = false;
        why = renamed.message();
    }
    if (!ok) {
        std::remove(part.c_str());
        error = Cannot(path, why);
        return false;
    }
    // The new name is durable only once the folder is on the disk too.
    if (!filesync::Sync(Folder(path).string(), why)) {
        error = Cannot(path, "the file is written, but its folder could not be flushed to the disk: " + why);
        return false;
    }
    return true;
}

}  // namespace outfile
