#include "serial/FileSync.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace filesync {

bool Sync(const std::string& path, std::string& error)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const bool synced = fsync(fd) == 0;
    if (!synced) error = std::strerror(errno);
    close(fd);
    return synced;
}

}  // namespace filesync
