#include "ClockLoop.h"

#include <thread>

void RunClockLoop(TManualTimer& timer, std::chrono::steady_clock::time_point deadline,
                  const volatile std::sig_atomic_t& stop, const std::function<void()>& afterFire)
{
    using clock = std::chrono::steady_clock;
    const auto interval = std::chrono::milliseconds(timer.Interval() > 0 ? timer.Interval() : 1);
    auto next = clock::now();
    while (!stop) {
        next += interval;
        if (next > deadline) break;
        std::this_thread::sleep_until(next);
        timer.Fire();
        if (afterFire) afterFire();
        const auto now = clock::now();
        if (now > next + interval) next = now;
    }
}
