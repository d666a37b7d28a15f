// The simulator's notion of time: a steady clock, passed into every model so
// that tests can drive it by hand.
#pragma once

#include <chrono>

namespace sim {

using SimClock = std::chrono::steady_clock;
using SimTime = SimClock::time_point;
using Millis = std::chrono::milliseconds;

}  // namespace sim
