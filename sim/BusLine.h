// The half-duplex RS-485 line between the master's adapter and the stations.
// The master's bytes go onto the line through the adapter, one character
// time each; the stations' bytes come off it through the adapter. While a
// station is sending, the master's bytes are a collision: the answer is
// garbled (TLineOutput::Collide) and the stations hear nothing of them. A
// station finds a request's start only after 33 bit times of idle line
// (TSYN), counted from the last byte on the line either way: a request that
// starts sooner is not heard.
// A flood is random bytes on the line for a while; nobody hears the master
// through it. Time is passed in, so tests drive it by hand.
#pragma once

#include "LineOutput.h"
#include "UsbAdapter.h"

#include <random>

namespace sim {

class TBusLine {
public:
    using Duration = SimClock::duration;

    // The master's bytes that reached the stations intact; `end` is when the
    // last of them was through.
    struct THeard {
        std::vector<std::uint8_t> bytes;
        SimTime end;
    };
    struct TStep {
        std::vector<THeard> heard;
        std::vector<std::uint8_t> toMaster;  // to be written to the master's side now
        std::vector<TLineOutput::TCollision> collisions;
        // The master's writes that started too soon after the line went idle.
        std::vector<Duration> unsynced;  // the idle time each had
    };

    TBusLine(TUsbAdapter adapter, std::uint32_t seed);

    // Bytes the master wrote, read at `now`; they reach the line at the
    // adapter's next tick, `charTime` each.
    void FromMaster(const std::uint8_t* bytes, std::size_t count, SimTime now, Duration charTime);
    // A station's telegram (or stray bytes with TLineOutput::NoStation).
    SimTime Send(const TByteString& bytes, SimTime start, Duration charTime, int station);
    // Random bytes on the line, one per `charTime`, from `from` until `until`.
    void Flood(SimTime from, SimTime until, Duration charTime);
    bool Flooded(SimTime at) const { return at >= floodFrom_ && at < floodUntil_; }
    // When Advance has something to do next.
    std::optional<SimTime> NextDue() const;
    // Everything that happened on the line up to `now`.
    TStep Advance(SimTime now);

private:
    struct TPending {
        SimTime reachesLine;
        Duration charTime;
        std::vector<std::uint8_t> bytes;
    };
    void PutOnLine(TPending& pending, TStep& step);

    TUsbAdapter adapter_;
    TLineOutput output_;
    std::minstd_rand random_;
    std::vector<TPending> fromMaster_;
    SimTime masterFreeAt_{};
    bool synced_ = true;  // the stations heard the start of the master's current bytes
    SimTime floodFrom_{}, floodUntil_{}, floodNext_{};
    Duration floodChar_{};
};

}  // namespace sim
