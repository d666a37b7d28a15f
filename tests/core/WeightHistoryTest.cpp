#include "core/WeightCsv.h"
#include "core/WeightHistory.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace plot;

namespace {

std::vector<std::int64_t> Times(const TSampleRing& ring, std::int64_t from = INT64_MIN, std::int64_t to = INT64_MAX)
{
    std::vector<std::int64_t> times;
    ring.Visit(from, to, [&](const TWeightSample& s) { times.push_back(s.TimeMs); });
    return times;
}

}  // namespace

TEST(WeightHistory, RingKeepsTheNewestInTimeOrderAndVisitsAnInclusiveSpan)
{
    struct Row {
        std::vector<std::int64_t> pushed;
        std::int64_t from, to;
        std::vector<std::int64_t> visited;
    } rows[] = {
        {{10, 20, 30}, INT64_MIN, INT64_MAX, {10, 20, 30}},
        {{10, 20, 30, 40, 50}, INT64_MIN, INT64_MAX, {30, 40, 50}},  // capacity 3: the oldest went
        {{10, 20, 30, 40, 50}, 40, 50, {40, 50}},
        {{10, 20, 30, 40}, 25, 35, {30}},
        {{10, 20, 30, 40}, 41, 99, {}},
        {{100, 50, 120}, INT64_MIN, INT64_MAX, {100, 100, 120}},  // a clock set back keeps the order
    };
    for (const Row& row : rows) {
        TSampleRing ring(3);
        for (std::int64_t t : row.pushed) ring.Push({t, 1.0f, 2.0f, 0, 0});
        EXPECT_EQ(Times(ring, row.from, row.to), row.visited) << row.pushed.size() << " pushed, " << row.from;
    }
}

TEST(WeightHistory, DropsCloseSamplesIgnoresUnknownModulesAndKeepsTheLatestLinkLosses)
{
    TWeightHistory history(2);
    for (std::int64_t t : {1000, 1005, 1010, 1019, 1020}) history.Add(1, {t, 1, 1, 0, 0});
    history.Add(2, {1000, 1, 1, 0, 0});
    history.Add(-1, {1000, 1, 1, 0, 0});
    EXPECT_EQ(Times(history.Ring(1)), (std::vector<std::int64_t>{1000, 1010, 1020}));
    EXPECT_FALSE(history.HasSamples(0));
    EXPECT_TRUE(Times(history.Ring(0)).empty());
    EXPECT_EQ(history.Ring(1).Capacity(), TWeightHistory::RingCapacity);

    for (std::size_t i = 0; i < TWeightHistory::MarkerCapacity + 2; ++i)
        history.MarkLinkLost(static_cast<std::int64_t>(i));
    const auto losses = history.LinkLosses(0, 1 << 20);
    ASSERT_EQ(losses.size(), TWeightHistory::MarkerCapacity);
    EXPECT_EQ(losses.front(), 2);
    EXPECT_EQ(history.LinkLosses(5, 6), (std::vector<std::int64_t>{5, 6}));
}

TEST(WeightHistory, DecimationKeepsEachSlicesExtremesInTimeOrder)
{
    TSampleRing ring(10000);
    for (int i = 0; i < 10000; ++i) ring.Push({i, static_cast<float>(i % 100), i == 4321 ? 1e6f : -i * 1.0f, 0, 0});
    std::vector<TPoint> gross, out;
    Decimate(ring, 0, 9999, 50, gross, out);
    EXPECT_LE(out.size(), 100u);
    bool spike = false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        spike = spike || out[i].Value == 1e6f;
        if (i > 0) {
            EXPECT_LT(out[i - 1].TimeMs, out[i].TimeMs);
        }
    }
    EXPECT_TRUE(spike) << "a one-sample peak survives";
    EXPECT_EQ(out.back().Value, -9999.0f);
    Decimate(ring, 0, 9999, 100, gross, out);
    EXPECT_EQ(gross.size(), 200u) << "a sawtooth gives both ends of every slice";
    Decimate(ring, 20000, 30000, 100, gross, out);
    EXPECT_TRUE(gross.empty() && out.empty());
}

TEST(WeightHistory, CsvHasTheWindowsSamplesOfTheModulesInTimeOrder)
{
    TWeightHistory history(4);
    history.Add(3, {1005, 12.3456789f, -1, 0x80, 0x01});
    history.Add(0, {1000, 1234567, 0.5f, 0, 0xFF});
    history.Add(0, {1030, 2, 2, 0, 0});
    history.Add(3, {1040, 3, 3, 0, 0});  // after the window
    history.MarkLinkLost(1010);
    history.MarkStop(1030);
    std::ostringstream csv;
    WriteWeightCsv(csv, history, {0, 3}, 1000, 1030, 7);
    EXPECT_EQ(csv.str(),
              "time,station,module,gross (kg),net (kg),status bytes,event\n"
              "1970-01-01T00:00:01.000Z,7,0,1.23457E+06,0.500,00 FF,\n"
              "1970-01-01T00:00:01.005Z,7,3,12.346,-1.000,80 01,\n"
              "1970-01-01T00:00:01.010Z,7,,,,,link lost\n"
              "1970-01-01T00:00:01.030Z,7,0,2.000,2.000,00 00,\n"
              "1970-01-01T00:00:01.030Z,7,,,,,stop\n");
    EXPECT_EQ(history.LinkLosses(0, 2000), std::vector<std::int64_t>{1010}) << "a stop is no lost link";
    EXPECT_EQ(UtcTimeText(-1), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(UtcTimeText(1796000000123), "2026-11-30T00:53:20.123Z");
}
