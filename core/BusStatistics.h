// The bus counters as a technician reads them: counted since a reset (the
// user's, or the last Start) rather than since the program started, each
// with its rate over the last ten seconds, and the Data_Exchange cycle's
// least, mean and largest time, taken from the master's counters once a
// second. No Qt: the window's status bar and its statistics table read it.
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
    // The Data_Exchange cycle in milliseconds since the reset (0 while none).
    double CycleMinMs() const { return cycles_ ? minCycle_ : 0; }
    double CycleMeanMs() const { return cycles_ ? cycleSum_ / static_cast<double>(cycles_) : 0; }
    double CycleMaxMs() const { return maxCycle_; }
    std::chrono::steady_clock::time_point Since() const { return baseline_.at; }

private:
    TSnapshot baseline_{};
    std::deque<TSnapshot> recent_;  // the samples of the last RateWindow, oldest first
    TBusCounters seen_{};           // the master's counters at the last sample
    double minCycle_ = 0;
    double maxCycle_ = 0;
    double cycleSum_ = 0;
    std::uint64_t cycles_ = 0;
};

}  // namespace busstats
