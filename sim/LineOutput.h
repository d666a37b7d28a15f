// What the simulator sends, paced as on a real line: each queued byte has the
// time at which it goes out, one character time after the one before, and a
// new telegram waits until the line is free. The server sleeps in poll until
// the next byte is due; nothing spins.
#pragma once

#include "SimClock.h"
#include "base/ByteString.h"

#include <deque>
#include <optional>

namespace sim {

class TLineOutput {
public:
    using Duration = SimClock::duration;

    // Queues `bytes` one per `charTime`, the first starting at `start` or,
    // when the line is still busy then, as soon as it is free; each byte is
    // written when its last bit would be through. Returns when the line is
    // free again after the last byte.
    SimTime Send(const TByteString& bytes, SimTime start, Duration charTime);
    // When the next queued byte is due, if one is queued.
    std::optional<SimTime> NextDue() const;
    // Writes every byte due at `now` to `fd`. Bytes the line does not take
    // (nobody reads) are lost, as on a real line.
    void WriteDue(int fd, SimTime now);
    bool Empty() const { return queue_.empty(); }

private:
    struct TByteAt {
        SimTime due;
        std::uint8_t byte;
    };
    std::deque<TByteAt> queue_;
    SimTime freeAt_{};
};

}  // namespace sim
