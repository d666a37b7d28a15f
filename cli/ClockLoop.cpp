#include "ClockLoop.h"

#include "serial/VeltPort.h"

#include <condition_variable>
#include <mutex>

namespace {

// Set by the port component's threads when they queue a notification; the
// loop then runs it at once instead of at the next expiry.
class TNotificationWake {
public:
    void Wake()
    {
        {
            std::lock_guard lock(mutex_);
            woken_ = true;
        }
        changed_.notify_one();
    }
    // True when woken before `until` (the wake is taken), false at `until`.
    bool WaitUntil(std::chrono::steady_clock::time_point until)
    {
        std::unique_lock lock(mutex_);
        const bool woken = changed_.wait_until(lock, until, [this] { return woken_; });
        woken_ = false;
        return woken;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool woken_ = false;
};

TNotificationWake& Wake()
{
    // Outlives every port: the threads that call it are gone before exit.
    static TNotificationWake wake;
    static const bool installed = [] {
        TVeltCustomComPort::SetOnNotificationQueued([] { wake.Wake(); });
        return true;
    }();
    static_cast<void>(installed);
    return wake;
}

}  // namespace

void RunClockLoop(TManualTimer& timer, std::chrono::steady_clock::time_point deadline,
                  const volatile std::sig_atomic_t& stop, const std::function<void()>& afterFire)
{
    using clock = std::chrono::steady_clock;
    TNotificationWake& wake = Wake();
    const auto interval = std::chrono::milliseconds(timer.Interval() > 0 ? timer.Interval() : 1);
    auto next = clock::now();
    while (!stop) {
        next += interval;
        if (next > deadline) break;
        // Between expiries: notifications, and the channel's wake when it asked for one.
        for (;;) {
            const auto due = timer.WakeDue();
            const auto until = due && *due < next ? *due : next;
            const bool woken = wake.WaitUntil(until);
            if (stop) break;
            if (woken && afterFire) afterFire();
            timer.FireWake(clock::now());
            if (!woken && until == next) break;
        }
        timer.Fire();
        if (afterFire) afterFire();
        const auto now = clock::now();
        if (now > next + interval) next = now;
    }
}
