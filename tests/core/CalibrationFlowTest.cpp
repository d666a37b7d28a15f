// The calibration's steps without a module: what a cancel or a missing
// answer leaves, told from the commands the flow sends and the results it is
// handed.
#include "core/CalibrationFlow.h"
#include "module/core/CalibrationKeys.h"

#include <gtest/gtest.h>

using namespace calkeys;
using Step = TCalibrationFlow::TStep;

namespace {

constexpr std::uint8_t Done = 0x03;

// A flow whose module reported its values (zero 80000 counts, max 15000,
// step 1 at one decimal, no-motion time 500 ms) and that stands at Zero on
// an empty scale at rest.
TCalibrationFlow OpenedAtZero()
{
    TCalibrationFlow flow(0, Commands());
    const std::map<std::string, std::int32_t> values{{"CZ", 80000}, {"CM", 15000}, {"DP", 1}, {"NT", 500}};
    while (flow.Busy()) {
        const auto it = values.find(flow.NextKey());
        flow.TakeResult(0x01, it == values.end() ? 1 : it->second);
    }
    flow.Open();
    flow.TakeResult(Done, 1);
    const auto now = TSteadiness::TClock::now();
    for (int i = 0; i <= 10; ++i) flow.AddGross(now + std::chrono::milliseconds(100 * i), 0.0);
    return flow;
}

// Zero and span taken, limits and linearisation skipped: at Save.
void ToSave(TCalibrationFlow& flow)
{
    flow.SetZero(false);
    flow.TakeResult(Done, 80000);
    flow.SetSpan(50, false);
    flow.TakeResult(Done, 500);
    flow.SkipLimits();
    flow.SkipLinearisation();
}

}  // namespace

TEST(CalibrationFlow, ACancelDuringTheSaveWaitsForItsAnswerAndTellsThatItSaved)
{
    TCalibrationFlow flow = OpenedAtZero();
    ToSave(flow);
    flow.Save();
    ASSERT_EQ(flow.NextKey(), "CS");
    flow.Cancel();
    EXPECT_EQ(flow.NextKey(), "CS") << "the save on its way is answered first";
    flow.TakeResult(Done, 2);
    EXPECT_TRUE(flow.Saved());
    EXPECT_EQ(flow.Next(), Write(CE, 0)) << "then the calibration is closed, nothing written back";
    flow.TakeResult(Done, 0);
    EXPECT_EQ(flow.Step(), Step::Cancelled);
    EXPECT_TRUE(flow.Restored().empty());
}

TEST(CalibrationFlow, ASaveTheModuleConfirmedStaysSavedWhenTheCounterIsNotAnswered)
{
    TCalibrationFlow flow = OpenedAtZero();
    ToSave(flow);
    flow.Save();
    flow.TakeResult(Done, 2);  // CS
    ASSERT_EQ(flow.NextKey(), "counter");
    flow.GiveUp();
    EXPECT_TRUE(flow.Saved());
    EXPECT_EQ(flow.Step(), Step::Check) << "no second Save offered";
    EXPECT_FALSE(flow.Problem());
    EXPECT_FALSE(flow.CounterAfter());
}

TEST(CalibrationFlow, ACancelWritesBackWhatTheSessionChangedAndReadsItBack)
{
    TCalibrationFlow flow = OpenedAtZero();
    flow.SetZero(false);
    flow.TakeResult(Done, 81234);
    flow.SetSpan(50, false);
    flow.TakeResult(Done, 500);
    flow.WriteLimits(20000, 1, 1);
    flow.TakeResult(Done, 20000);
    flow.Cancel();
    const TByteString expected[] = {Write(CZ, 80000), Write(CM, 15000), Write(CE, 0), ReadValue(CZ), ReadValue(CM)};
    for (const TByteString& command : expected) {
        ASSERT_EQ(flow.Next(), command) << flow.NextKey();
        if (command == Write(CZ, 80000))
            flow.TakeResult(0x04, 0);  // refused: the write-back goes on with the rest
        else
            flow.TakeResult(Done, command == ReadValue(CZ) ? 81234 : 15000);
    }
    EXPECT_EQ(flow.Step(), Step::Cancelled);
    ASSERT_EQ(flow.Restored().size(), 2u);
    EXPECT_FALSE(flow.Restored()[0].refusal.empty()) << "CZ refused";
    EXPECT_EQ(flow.Restored()[0].now, 81234);
    EXPECT_TRUE(flow.Restored()[1].refusal.empty());
    EXPECT_EQ(flow.Restored()[1].now, 15000);
    EXPECT_EQ(flow.NotRestored(), std::vector<std::string>{"CG"});
}

TEST(CalibrationFlow, FarFromZeroIsMoreThanTwoPercentOfTheMaximum)
{
    TCalibrationFlow flow = OpenedAtZero();  // CM 15000 at one decimal: 1500 kg
    const auto now = TSteadiness::TClock::now();
    for (const auto& [kg, far] : {std::pair{30.0, false}, {30.1, true}, {-30.1, true}}) {
        flow.AddGross(now, kg);
        EXPECT_EQ(flow.FarFromZero(), far) << kg;
    }
}
