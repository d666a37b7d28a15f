// The headless monitor's event loop: fires the channel's poll timer at its
// interval, sleeping until each deadline (no busy waiting), and after each
// expiry runs `afterFire` (the port component's queued notifications); a
// notification queued meanwhile wakes it to run `afterFire` at once, and a
// wake the channel asks for between expiries is given at its time.
#pragma once

#include "serial/PollTimer.h"

#include <chrono>
#include <csignal>
#include <functional>

// Runs until `deadline` passes or `stop` becomes non-zero. A loop that falls
// behind (the process was suspended) starts counting afresh instead of
// firing the missed expiries in a burst.
void RunClockLoop(TManualTimer& timer, std::chrono::steady_clock::time_point deadline,
                  const volatile std::sig_atomic_t& stop, const std::function<void()>& afterFire);
