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

#include <deque>
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
        std::vector<std::size_t> bad;        // which of them came with a parity error
        std::vector<TLineOutput::TCollision> collisions;
        // The master's writes that started too soon after the line went idle.
        std::vector<Duration> unsynced;  // the idle time each had
        // Every byte on the line as a receiver on it reads it, for the taps
        // and the plant: what the senders drove onto it, and what came off
        // it (the stations' bytes, garbled where talked over, and the flood's).
        std::vector<TLineOutput::TByteAt> driven;
        std::vector<TLineOutput::TByteAt> offLine;
    };

    TBusLine(TUsbAdapter adapter, std::uint32_t seed);

    // Bytes the master wrote, read at `now`; they reach the line at the
    // adapter's next tick, `charTime` each.
    void FromMaster(const std::uint8_t* bytes, std::size_t count, SimTime now, Duration charTime);
    // Bytes of another sender on the line (a tap, the plant's master): they
    // go onto it at `at`, without the adapter, and meet the line as the
    // master's bytes do.
    void OntoLine(const std::uint8_t* bytes, std::size_t count, SimTime at, Duration charTime);
    // A station's telegram (or stray bytes with TLineOutput::NoStation);
    // byte `bad`, if given, with a parity error.
    SimTime Send(const TByteString& bytes, SimTime start, Duration charTime, int station,
                 std::optional<std::size_t> bad = std::nullopt);
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
    void MarkBad(TStep& step);

    TUsbAdapter adapter_;
    TLineOutput output_;
    std::minstd_rand random_;
    std::vector<TPending> fromMaster_;
    SimTime masterFreeAt_{};
    bool synced_ = true;  // the stations heard the start of the master's current bytes
    SimTime floodFrom_{}, floodUntil_{}, floodNext_{};
    Duration floodChar_{};
    // The adapter keeps the bytes' order and count: the n-th byte off the
    // line is the n-th to the master's side.
    std::uint64_t offLine_ = 0;             // bytes handed to the adapter
    std::uint64_t toMaster_ = 0;            // bytes it has passed on
    std::deque<std::uint64_t> badOffLine_;  // the bad ones among them, by number
};

}  // namespace sim
