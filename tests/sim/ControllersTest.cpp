// The filling and mass flow controllers of a module, run in model time.
#include "ModuleTestSupport.h"

using namespace sim;
using namespace simtest;

namespace {

std::int32_t FlowState(std::int32_t controlWord) { return (controlWord >> 4) & 0x03; }

}  // namespace

TEST(Filling, RunsACycleToTheTargetWithinTolerance)
{
    TModuleUnderTest m;                                // 60 kg container, target 100.0 kg
    EXPECT_EQ(m.Stat(0x24), StatError | errNotReady);  // TR before the program runs
    EXPECT_EQ(m.Stat(0x22), StatDone);                 // SC
    EXPECT_EQ(m.Read(0x05) & 0x03, 0x01);              // running, waiting for TR
    EXPECT_EQ(m.Stat(0x24), StatDone);
    m.Run(Millis(1000));
    EXPECT_EQ(m.Read(0x05) & 0x12, 0x12);  // cycle active, coarse feed
    EXPECT_EQ(m.module.LimitStatus() & 0x10, 0x10);
    m.Run(Millis(10000));
    const std::int32_t status = m.Read(0x05);
    EXPECT_EQ(status & 0x382, 0x080) << std::hex << status;  // complete, in tolerance, in time
    EXPECT_NEAR(m.Weight(0x0B), 100.0, 1.0);                 // GD: last dosed weight
    EXPECT_NEAR(m.Weight(0x0C), 60.0, 0.2);                  // last dosed tare
    EXPECT_NEAR(m.Weight(0x0F), 100.0, 1.0);

    // The next cycle empties the container first.
    EXPECT_EQ(m.Stat(0x24), StatDone);
    m.Run(Millis(300));
    EXPECT_EQ(m.Read(0x05) & 0x04, 0x04);
    m.Run(Millis(12000));
    EXPECT_NEAR(m.Weight(0x0B), 100.0, 1.0);

    EXPECT_EQ(m.Stat(0x01), StatDone);  // AC
    EXPECT_EQ(m.Read(0x05) & 0x01, 0);
}

TEST(Filling, RefusesAnInconsistentSlopeAndStopsAtTheMaxFillTime)
{
    TModuleUnderTest m;
    m.Cmd(0x22);
    EXPECT_EQ(m.Stat(0x06, 0x82, 3), StatDone);  // coarse cut-off below the fine one
    EXPECT_EQ(m.Stat(0x24), StatError | errBadFillSlope);
    EXPECT_EQ(m.Stat(0x06, 0x82, 150), StatDone);
    EXPECT_EQ(m.Stat(0x06, 0x89, 1000), StatDone);  // one second to fill
    EXPECT_EQ(m.Stat(0x24), StatDone);
    m.Run(Millis(3000));
    EXPECT_EQ(m.Read(0x05) & 0x380, 0x380) << std::hex << m.Read(0x05);  // complete, out of tolerance, timed out
}

TEST(MassFlow, RunsPausesAndStopsWithTrendAndTotalMass)
{
    TModuleUnderTest m(6);  // 210 kg in the hopper, set-point 1800.0 kg/h
    EXPECT_EQ(FlowState(m.Read(0x29, 0x01)), 0);
    EXPECT_EQ(m.Stat(0x29, 0x81, 0x30), StatError | errNotReady);  // pause while stopped
    const auto start = m.Cmd(0x29, 0x81, 0x13);
    EXPECT_EQ(start.stat, StatDone);
    EXPECT_EQ(start.value, 0x13);
    EXPECT_EQ(FlowState(m.Read(0x29, 0x01)), 1);  // Running
    m.Run(Millis(20000));
    EXPECT_NEAR(m.Weight(0x29, 0x04), 1800.0, 90.0);  // trend within 5 %
    EXPECT_NEAR(m.Weight(0x29, 0x05), 10.0, 1.0);     // 0.5 kg/s for 20 s
    EXPECT_NEAR(m.Weight(0x0E), 200.0, 1.0);
    EXPECT_EQ(m.Read(0x29, 0x02) & 0xC1, 0xC1);  // running, gravimetric, trend valid
    EXPECT_EQ(m.module.LimitStatus() & 0x40, 0x40);

    EXPECT_EQ(m.Cmd(0x29, 0x81, 0x30).value, 0x30);  // Pause
    EXPECT_EQ(FlowState(m.Read(0x29, 0x01)), 3);
    const float total = m.Weight(0x29, 0x05);
    m.Run(Millis(5000));
    EXPECT_EQ(m.Weight(0x29, 0x05), total);
    EXPECT_NEAR(m.Weight(0x29, 0x04), 0.0, 50.0);
    EXPECT_EQ(m.Stat(0x29, 0x81, 0x13), StatDone);  // resume: the total goes on
    m.Run(Millis(2000));
    EXPECT_GT(m.Weight(0x29, 0x05), total);

    EXPECT_EQ(m.Cmd(0x29, 0x81, 0x00).value, 0x00);  // Stop
    EXPECT_EQ(FlowState(m.Read(0x29, 0x01)), 0);
    EXPECT_EQ(m.Weight(0x29, 0x04), 0.0f);
    EXPECT_EQ(m.Stat(0x29, 0x81, 0x20), StatError | errBadFlowParamValue);
    EXPECT_EQ(m.Stat(0x29, 0x06), StatError | errBadFlowValueId);
    EXPECT_EQ(m.Stat(0x29, 0x82, 1), StatError | errBadFlowValueId);
}

TEST(MassFlow, RefillsTheHopperBelowTheLowLimit)
{
    TModuleUnderTest m;                              // 60 kg
    EXPECT_EQ(m.Stat(0x2A, 0x83, 590), StatDone);    // refill below 59.0 kg
    EXPECT_EQ(m.Stat(0x2A, 0x84, 800), StatDone);    // up to 80.0 kg
    EXPECT_EQ(m.Stat(0x2A, 0x85, 2000), StatDone);   // in 2 s
    EXPECT_EQ(m.Stat(0x2A, 0x81, 36000), StatDone);  // 3600.0 kg/h
    EXPECT_EQ(m.Stat(0x29, 0x81, 0x13), StatDone);
    m.Run(Millis(2500));
    EXPECT_EQ(m.Read(0x29, 0x02) & 0x04, 0x04);  // refilling
    EXPECT_EQ(m.module.LimitStatus() & 0x80, 0x80);
    m.Run(Millis(3000));
    EXPECT_EQ(m.Read(0x29, 0x02) & 0x04, 0);
    EXPECT_GT(m.Weight(0x0E), 70.0);

    m.Cmd(0x29, 0x81, 0);
    EXPECT_EQ(m.Stat(0x2A, 0x84, 100), StatDone);  // high limit below the low one
    EXPECT_EQ(m.Stat(0x29, 0x81, 0x13), StatError | errBadFlowParamValue);
}
