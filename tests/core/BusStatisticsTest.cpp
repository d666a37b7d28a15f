#include "core/BusStatistics.h"

#include <gtest/gtest.h>

using namespace busstats;
using namespace std::chrono_literals;

namespace {

const TCounterRow& Row(const char* name)
{
    for (const TCounterRow& row : CounterRows())
        if (std::string(row.name) == name) return row;
    throw std::runtime_error(name);
}

TSnapshot At(std::chrono::seconds t, std::uint64_t lost, std::chrono::microseconds cycle = 0us)
{
    TSnapshot s;
    s.at = std::chrono::steady_clock::time_point{} + t;
    s.bus.noAnswer = lost;
    s.bus.lastCycle = cycle;
    s.bus.meanCycle = cycle;
    return s;
}

}  // namespace

TEST(BusStatistics, CountsSinceTheResetWithARateOverTheLastTenSeconds)
{
    TBusStatistics stats;
    stats.Reset(At(0s, 500));  // 500 lost before the reset do not count
    for (int t = 1; t <= 30; ++t) stats.Sample(At(std::chrono::seconds(t), 500 + (t > 20 ? 2 * (t - 20) : 0)));
    EXPECT_EQ(stats.Count(Row("answers lost")), 20u);
    EXPECT_DOUBLE_EQ(stats.PerMinute(Row("answers lost")), 120.0) << "2 a second over the last 10 s";
    stats.Reset(At(31s, 560));
    EXPECT_EQ(stats.Count(Row("answers lost")), 0u);
    EXPECT_EQ(stats.PerMinute(Row("answers lost")), 0.0) << "no rate from less than a second";
}

TEST(BusStatistics, CycleTimesCountOnlyCyclesTimedSinceTheReset)
{
    TBusStatistics stats;
    stats.Reset(At(0s, 0, 250000us));  // the last run's cycle
    stats.Sample(At(1s, 0, 250000us));
    EXPECT_EQ(stats.CycleMaxMs(), 0.0);
    stats.Sample(At(2s, 0, 100000us));
    stats.Sample(At(3s, 0, 120000us));
    EXPECT_DOUBLE_EQ(stats.CycleMinMs(), 100.0);
    EXPECT_DOUBLE_EQ(stats.CycleMeanMs(), 110.0);
    EXPECT_DOUBLE_EQ(stats.CycleMaxMs(), 120.0);
}
