#include "LineOutput.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace sim {

SimTime TLineOutput::Send(const TByteString& bytes, SimTime start, Duration charTime)
{
    SimTime at = std::max(start, freeAt_);
    for (const std::uint8_t b : bytes) {
        at += charTime;  // a character is there once its stop bit is
        queue_.push_back({at, b});
    }
    freeAt_ = at;
    return at;
}

std::optional<SimTime> TLineOutput::NextDue() const
{
    if (queue_.empty()) return std::nullopt;
    return queue_.front().due;
}

void TLineOutput::WriteDue(int fd, SimTime now)
{
    std::vector<std::uint8_t> due;
    while (!queue_.empty() && queue_.front().due <= now) {
        due.push_back(queue_.front().byte);
        queue_.pop_front();
    }
    std::size_t done = 0;
    while (done < due.size()) {
        const ssize_t n = write(fd, due.data() + done, due.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace sim
