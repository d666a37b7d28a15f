// A USB serial adapter between the line and the master's port. What comes
// off the line waits in the adapter's small buffer and reaches the master's
// side in one chunk when the buffer is full or at the adapter's next latency
// tick; what the master writes goes onto the line with the next USB frame,
// within a millisecond. The ticks come every `latency` and the frames every
// millisecond from a phase the seed picks, so a run is repeatable. With
// latency zero every byte passes at once.
#pragma once

#include "SimClock.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

class TUsbAdapter {
public:
    static constexpr std::size_t ChunkBytes = 62;  // a 64-byte USB packet less two status bytes

    TUsbAdapter(Millis latency, SimTime origin, std::uint32_t seed);

    Millis Latency() const { return latency_; }
    static constexpr Millis FramePeriod{1};  // of the USB bus, that carries the master's bytes

    // The first tick at or after `t` (`t` itself without latency).
    SimTime NextTick(SimTime t) const;
    // When bytes the master wrote at `t` reach the line (`t` without latency).
    SimTime NextFrame(SimTime t) const;
    // A byte off the line at `at` (not before the last one): appends what
    // reaches the master's side by then to `out`.
    void FromLine(SimTime at, std::uint8_t byte, std::vector<std::uint8_t>& out);
    // Appends to `out` what the tick has sent by `now`.
    void Flush(SimTime now, std::vector<std::uint8_t>& out);
    // When the held bytes go to the master's side, if any are held.
    std::optional<SimTime> NextFlush() const;

private:
    SimTime Next(SimTime t, SimClock::duration period) const;

    Millis latency_;
    SimTime firstTick_;
    std::vector<std::uint8_t> held_;
    SimTime flushAt_{};
};

}  // namespace sim
