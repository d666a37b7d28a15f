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

TSnapshot At(std::chrono::seconds t, std::uint64_t lost)
{
    TSnapshot s;
    s.at = std::chrono::steady_clock::time_point{} + t;
    s.bus.noAnswer = lost;
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
