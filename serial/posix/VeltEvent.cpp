#include "VeltEvent.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// Milliseconds left of a time-out that started at `start` (-1: no limit).
int Remaining(int timeoutMs, std::chrono::steady_clock::time_point start)
{
    if (timeoutMs < 0) return -1;
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return spent.count() >= timeoutMs ? 0 : timeoutMs - static_cast<int>(spent.count());
}

}  // namespace

TVeltEvent::TVeltEvent(Reset mode) : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), mode_(mode) {}

TVeltEvent::~TVeltEvent()
{
    if (fd_ >= 0) close(fd_);
}

void TVeltEvent::Set()
{
    const std::uint64_t one = 1;
    while (write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TVeltEvent::ResetEvent()
{
    std::uint64_t value;
    while (read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool TVeltEvent::TryConsume()
{
    if (mode_ == Reset::Auto) {
        std::uint64_t value;
        ssize_t n;
        while ((n = read(fd_, &value, sizeof value)) < 0 && errno == EINTR) {
        }
        return n == sizeof value;
    }
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

bool TVeltEvent::Wait(int timeoutMs)
{
    // A busy waiter mostly finds the event already set: one call, no poll.
    if (TryConsume()) return true;
    return WaitAny({this}, timeoutMs) == 0;
}

int TVeltEvent::WaitAny(std::initializer_list<TVeltEvent*> events, int timeoutMs)
{
    // A fixed array: a wait allocates nothing.
    pollfd fds[MaxWaitEvents];
    nfds_t count = 0;
    for (TVeltEvent* e : events)
        if (count < MaxWaitEvents) fds[count++] = {e->fd_, POLLIN, 0};
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const int ready = poll(fds, count, Remaining(timeoutMs, start));
        if (ready < 0 && errno != EINTR) return -1;
        if (ready > 0) {
            int index = 0;
            for (TVeltEvent* e : events) {
                if (static_cast<nfds_t>(index) == count) break;
                // Another waiter may take an auto-reset event first: then wait on.
                if ((fds[index].revents & POLLIN) && e->TryConsume()) return index;
                ++index;
            }
        }
        if (ready == 0 && Remaining(timeoutMs, start) == 0) return -1;
    }
}
