#include "SlaveServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace sim {

TSlaveServer::TSlaveServer(std::vector<TSlaveStation*> stations, int lineFd, LogFn log)
    : stations_(std::move(stations)), fd_(lineFd), log_(std::move(log))
{
}

int TSlaveServer::PollTimeout(SimTime now) const
{
    std::optional<SimTime> next;
    for (const TSlaveStation* station : stations_)
        if (const auto watchdog = station->Dp().WatchdogDeadline(); watchdog && (!next || *watchdog < *next))
            next = watchdog;
    if (const auto partial = parser_.PartialDeadline(); partial && (!next || *partial < *next)) next = partial;
    if (!next) return -1;
    // One millisecond past the deadline, so that it has passed when poll returns.
    const auto wait = std::chrono::ceil<Millis>(*next - now).count() + 1;
    return static_cast<int>(std::clamp<long long>(wait, 0, 60000));
}

int TSlaveServer::Run(int stopFd)
{
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int ready = poll(fds, 2, PollTimeout(SimClock::now()));
        if (ready < 0) {
            if (errno == EINTR) continue;
            log_(std::string("poll failed: ") + std::strerror(errno));
            return 1;
        }
        if (fds[1].revents) return 0;
        const SimTime now = SimClock::now();
        if (fds[0].revents & POLLIN) {
            if (!ReadLine(now)) return 1;
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // A hung-up descriptor reports readiness forever: stop instead of spinning.
            log_("the line was hung up");
            return 1;
        }
        for (TSlaveStation* station : stations_) station->Dp().CheckWatchdog(now);
        parser_.Expire(now);
    }
}

bool TSlaveServer::ReadLine(SimTime now)
{
    std::uint8_t buffer[512];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (n <= 0) {
        log_(n == 0 ? std::string("the line was hung up") : std::string("reading the line failed: ") + std::strerror(errno));
        return false;
    }
    for (const TRequest& request : parser_.Feed(buffer, static_cast<std::size_t>(n), now)) {
        ++requests_;
        for (TSlaveStation* station : stations_)
            if (const auto reply = station->Dp().Handle(request, now)) Reply(*reply);
    }
    return true;
}

void TSlaveServer::Reply(const TByteString& telegram)
{
    // A full line buffer (nobody reads) loses the reply, as a real line would.
    std::size_t done = 0;
    while (done < telegram.size()) {
        const ssize_t n = write(fd_, telegram.data() + done, telegram.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace sim
