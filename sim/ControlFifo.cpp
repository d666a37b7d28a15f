#include "ControlFifo.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

TControlFifo::TControlFifo(std::string path) : path_(std::move(path))
{
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0) {
        if (!S_ISFIFO(st.st_mode)) throw std::runtime_error("--control: " + path_ + " exists and is not a named pipe");
    } else if (mkfifo(path_.c_str(), 0600) == 0) {
        made_ = true;
    } else {
        throw std::runtime_error("--control: cannot make " + path_ + ": " + std::strerror(errno));
    }
    fd_ = open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const std::string why = std::strerror(errno);
        if (made_) unlink(path_.c_str());
        throw std::runtime_error("--control: cannot open " + path_ + ": " + why);
    }
}

TControlFifo::~TControlFifo()
{
    close(fd_);
    if (made_) unlink(path_.c_str());
}

std::vector<TControlFifo::TLine> TControlFifo::ReadLines()
{
    std::vector<TLine> lines;
    char buffer[1024];
    for (;;) {
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n') {
                lines.push_back({partial_, dropping_});
                partial_.clear();
                dropping_ = false;
            } else if (partial_.size() < MaxLine) {
                partial_ += c;
            } else {
                dropping_ = true;
            }
        }
    }
    return lines;
}

}  // namespace sim
