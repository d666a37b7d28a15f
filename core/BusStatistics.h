// The bus counters as a technician reads them: counted since a reset (the
// user's, or the last Start) rather than since the program started, each
// with its rate over the last ten seconds, and the Data_Exchange cycle's
// least, mean and largest time, which the master keeps since the reset. No
// Qt: the window's status bar and its statistics table read it.
#pragma once

#include "dp/Profi_dp.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

namespace busstats {

struct TSnapshot {
    TBusCounters bus;
    TLineCounts line;
    std::chrono::steady_clock::time_point at;
};

// One counter of the table: its name and where a snapshot holds it. A
// counter the master or the channel gains is one more row.
struct TCounterRow {
    const char* name;
    std::uint64_t (*value)(const TSnapshot& snapshot);
};
const std::vector<TCounterRow>& CounterRows();

class TBusStatistics {
public:
    static constexpr std::chrono::seconds RateWindow{10};

    // Counting starts anew from `now`.
    void Reset(const TSnapshot& now);
    // The counters as they stand now (once a second).
    void Sample(const TSnapshot& now);

    // A row's count since the reset and its rate per minute over the last
    // RateWindow (over less while the reset is younger than that).
    std::uint64_t Count(const TCounterRow& row) const;
    double PerMinute(const TCounterRow& row) const;
    // The Data_Exchange cycle in milliseconds at the last sample, as the
    // master counts it since the reset (0 while none).
    double CycleMinMs() const { return Ms(&TBusCounters::minCycle); }
    double CycleMeanMs() const { return Ms(&TBusCounters::meanCycle); }
    double CycleMaxMs() const { return Ms(&TBusCounters::maxCycle); }
    std::chrono::steady_clock::time_point Since() const { return baseline_.at; }

private:
    double Ms(std::chrono::microseconds TBusCounters::*cycle) const;

    TSnapshot baseline_{};
    std::deque<TSnapshot> recent_;  // the samples of the last RateWindow, oldest first
};

}  // namespace busstats
