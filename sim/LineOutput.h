// What the stations send, paced as on a real line: each queued byte has its
// slot on the line, one character time after the one before, and a new
// telegram waits until the line is free. Bytes still queued can be garbled
// by a collision with the master.
#pragma once

#include "SimClock.h"
#include "base/ByteString.h"

#include <deque>
#include <optional>
#include <random>
#include <vector>

namespace sim {

class TLineOutput {
public:
    using Duration = SimClock::duration;
    static constexpr int NoStation = -1;  // stray bytes, no station's answer

    struct TByteAt {
        SimTime due;  // when its stop bit is through
        std::uint8_t byte;
        bool bad = false;  // sent with a parity error
    };
    // A station's answer that the master talked over.
    struct TCollision {
        int station;
        std::size_t length;  // bytes of the answer
        std::size_t first;   // the first garbled byte (0-based)
    };

    // Queues `bytes` one per `charTime`, the first starting at `start` or,
    // when the line is still busy then, as soon as it is free. `station` is
    // the address of the station answering, or NoStation; byte `bad`, if
    // given, goes with a parity error. Returns when the line is free again
    // after the last byte.
    SimTime Send(const TByteString& bytes, SimTime start, Duration charTime, int station = NoStation,
                 std::optional<std::size_t> bad = std::nullopt);
    // When the next queued byte is due, if one is queued.
    std::optional<SimTime> NextDue() const;
    // Removes and returns the bytes due at `now`, in order.
    std::vector<TByteAt> TakeDue(SimTime now);
    // When the last station byte through by `t` ended (the epoch: none yet).
    SimTime QuietSince(SimTime t) const;
    // True when a queued byte is on the line at some time in [from, to).
    bool Busy(SimTime from, SimTime to) const;
    // The master drove `master` onto the line from `from`, one byte per
    // `charTime`. Each telegram with a byte on the line meanwhile is garbled
    // from that byte to its end: where both drove, what the master's side
    // reads is a mix of the two bytes; after that, with no idle time to find
    // the character frame again, it reads every byte out of frame. No garbled
    // byte equals the one sent, so the check sum or the end byte fails.
    // Returns the stations' answers so hit for the first time.
    std::vector<TCollision> Collide(SimTime from, Duration charTime, const std::vector<std::uint8_t>& master,
                                    std::minstd_rand& random);
    bool Empty() const { return queue_.empty(); }

private:
    struct TQueued {
        SimTime from, due;
        std::uint8_t byte;
        int station;
        std::size_t index, length;  // place in its telegram
        bool garbled;
        bool bad;
    };
    std::deque<TQueued> queue_;
    SimTime freeAt_{};
    SimTime lastTaken_{};  // the end of the last byte taken off the queue
};

// A byte `sent` as the master's side reads it when the master drove `master`
// at the same time (or, without one, read out of frame); never `sent`.
std::uint8_t Garble(std::uint8_t sent, std::optional<std::uint8_t> master, std::uint8_t noise);

}  // namespace sim
