#include "LineTap.h"

#include "PtyBaud.h"
#include "ReaderBytes.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace sim {

TLineTap::TLineTap(int com, bool replace, long baud, std::uint32_t seed)
    : pty_(baud), link_(com, pty_.DevicePath(), replace), baud_(baud), random_(seed ? seed : 1)
{
}

void TLineTap::Hear(const std::vector<TLineOutput::TByteAt>& bytes)
{
    for (const auto& b : bytes)
        due_.insert(std::upper_bound(due_.begin(), due_.end(), b.due,
                                     [](SimTime t, const TLineOutput::TByteAt& q) { return t < q.due; }),
                    b);
}

std::optional<SimTime> TLineTap::NextDue() const
{
    if (due_.empty()) return std::nullopt;
    return due_.front().due;
}

void TLineTap::Deliver(SimTime now)
{
    std::vector<std::uint8_t> line;
    std::vector<std::size_t> bad;
    const bool sameRate = PtyBaud(pty_.Fd()) == baud_;
    for (; !due_.empty() && due_.front().due <= now; due_.pop_front()) {
        if (due_.front().bad) bad.push_back(line.size());
        line.push_back(sameRate ? due_.front().byte : static_cast<std::uint8_t>(random_()));
    }
    if (line.empty()) return;
    const std::vector<std::uint8_t> bytes = ForReader(line, bad, ReaderModes(pty_.Fd()));
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(pty_.Fd(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

std::vector<std::uint8_t> TLineTap::TakeWritten()
{
    std::vector<std::uint8_t> written;
    std::uint8_t buffer[512];
    for (;;) {
        const ssize_t n = read(pty_.Fd(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written.insert(written.end(), buffer, buffer + n);
    }
    return written;
}

}  // namespace sim
