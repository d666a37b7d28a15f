#include "serial/PortDirectory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace portdir {

std::string Path()
{
    if (const char* dir = std::getenv("QUORVEL_PORT_DIR"); dir && *dir) return dir;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run) return std::string(run) + "/quorvel/ports";
    return "/tmp/quorvel-" + std::to_string(getuid()) + "/ports";
}

std::string LinkPath(int comNumber) { return Path() + "/COM" + std::to_string(comNumber); }

namespace {

// mkdir -p with mode 0700 for every folder it has to create.
bool MakeFolders(const std::string& path, std::string& message)
{
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            message = "Cannot create port directory " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

}  // namespace

bool Ensure(std::string& message)
{
    const std::string path = Path();
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            message = "Cannot use port directory " + path + ": " + std::strerror(errno);
            return false;
        }
        if (!MakeFolders(path, message)) return false;
        if (lstat(path.c_str(), &st) != 0) {
            message = "Cannot use port directory " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    if (!S_ISDIR(st.st_mode)) {
        message = "Port directory " + path + " is not a folder; it is ignored";
        return false;
    }
    if (st.st_uid != getuid()) {
        message = "Port directory " + path + " belongs to another user; it is ignored";
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        message = "Port directory " + path + " is writable by others; it is ignored";
        return false;
    }
    return true;
}

}  // namespace portdir
