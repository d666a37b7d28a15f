#include "ModuleTestSupport.h"

#include <cmath>
#include <fstream>
#include <random>
#include <set>

using namespace sim;
using namespace simtest;

TEST(WeighModule, WeighsItsLoadWithALittleNoise)
{
    TModuleUnderTest m(2);  // 110 kg on the scale
    EXPECT_NEAR(m.Weight(0x0E), 110.0, 0.2);
    EXPECT_EQ(m.Weight(0x0F), m.Weight(0x0E));  // no tare: net is gross
    EXPECT_EQ(m.Weight(0x11), 0.0f);
    std::set<std::int32_t> samples;
    for (int i = 0; i < 10; ++i) {
        m.Run(Millis(100));
        samples.insert(m.Read(0x10));
    }
    EXPECT_GT(samples.size(), 5u);  // the A/D samples move
    EXPECT_NEAR(*samples.begin(), TScale::DeadCounts + 110 * TScale::CountsPerKg, 1000);
    EXPECT_TRUE(m.module.Scale().Stable());
    EXPECT_EQ(m.Read(0x23) & 0x01, 0x01);

    const auto block = m.module.Block();
    EXPECT_NEAR(FloatFromBits(BigEndian32(block.data())), 110.0, 0.2);
    EXPECT_EQ(block[8], 0x01);         // one decimal
    EXPECT_EQ(block[9] & 0x03, 0x03);  // valid, stable
    EXPECT_EQ(block[13], 'W');
    EXPECT_EQ(block[15], 2);
}

TEST(WeighModule, TaresAndZeroesOnlyWhenStableAndInRange)
{
    TModuleUnderTest m;
    EXPECT_EQ(m.Stat(0x1E), StatDone);  // ST
    EXPECT_NEAR(m.Weight(0x11), 60.0, 0.2);
    EXPECT_NEAR(m.Weight(0x0F), 0.0, 0.2);
    EXPECT_EQ(m.Read(0x23) & 0x02, 0x02);  // net mode
    EXPECT_EQ(m.Stat(0x1A), StatDone);     // RT
    EXPECT_NEAR(m.Weight(0x0F), 60.0, 0.2);
    EXPECT_EQ(m.Stat(0x20), StatDone);  // SZ: 60 kg is within 20 % of 1500 kg
    EXPECT_NEAR(m.Weight(0x0E), 0.0, 0.2);
    EXPECT_EQ(m.Stat(0x1B), StatDone);  // RZ
    EXPECT_NEAR(m.Weight(0x0E), 60.0, 0.2);

    EXPECT_EQ(m.Stat(0x1F, standard::TareRange, 500), StatDone);  // tare at most 50.0 kg
    EXPECT_EQ(m.Stat(0x1E), StatError | errBadTareRange);
    EXPECT_EQ(m.Stat(0x1F, standard::ZeroRange, 2), StatDone);  // zero at most 30 kg away
    EXPECT_EQ(m.Stat(0x20), StatError | errBadTareRange);

    // A no-motion range of 0 lets no noise pass: the scale is never stable.
    EXPECT_EQ(m.Stat(0x1F, standard::NoMotionRange, 0), StatDone);
    m.Run(Millis(600));
    EXPECT_EQ(m.Stat(0x1E), StatError | errNotStable);
    EXPECT_EQ(m.Read(0x23) & 0x01, 0);
}

TEST(WeighModule, MovingLoadIsUnstableUntilItSettles)
{
    TModuleUnderTest m;
    m.module.Scale().Load() += 5;
    m.Run(Millis(50));
    EXPECT_EQ(m.Stat(0x1E), StatError | errNotStable);
    m.Run(Millis(1000));
    EXPECT_EQ(m.Stat(0x1E), StatDone);
    EXPECT_NEAR(m.Weight(0x11), 65.0, 0.2);
}

TEST(WeighModule, CalibrationNeedsCalibrateEnable)
{
    TModuleUnderTest m;
    EXPECT_EQ(m.Stat(0x04, calib::Gain, 20000), StatError | errCalNotOpen);
    EXPECT_EQ(m.Stat(0x04, calib::Zero), StatError | errCalNotOpen);
    EXPECT_EQ(m.Stat(0x1F, standard::ZeroTracking, 1), StatError | errCalNotOpen);
    EXPECT_EQ(m.Stat(0x08), StatError | errCalNotOpen);        // factory defaults
    EXPECT_EQ(m.Stat(0x1C, 0x02), StatError | errCalNotOpen);  // save calibration
    EXPECT_EQ(m.Stat(0x04, calib::Enable, 7), StatError | errBadCalValue);
    EXPECT_EQ(m.Stat(0x03, 0x05), StatError | errBadCalId);

    EXPECT_EQ(m.Stat(0x04, calib::Enable, 1), StatDone);
    EXPECT_EQ(m.Read(0x03, calib::Enable), 1);
    EXPECT_EQ(m.Stat(0x04, calib::Zero), StatDone);  // CZ: the present load is zero
    EXPECT_NEAR(m.Weight(0x0E), 0.0, 0.2);
    m.module.Scale().Load() += 100;
    m.Run(Millis(1000));
    EXPECT_EQ(m.Stat(0x04, calib::Gain, 20000), StatError | errBadCalValue);  // above the capacity
    EXPECT_EQ(m.Stat(0x04, calib::Gain, 10000), StatDone);                    // CG: these 100 kg read 1000.0
    m.Run(Millis(500));
    EXPECT_NEAR(m.Weight(0x0E), 1000.0, 1.0);
    EXPECT_EQ(m.Read(0x03, calib::Gain), 10000);

    EXPECT_EQ(m.Stat(0x04, calib::DecimalPoint, 2), StatDone);
    EXPECT_EQ(m.Stat(0x04, calib::StepSize, 5), StatDone);
    EXPECT_EQ(m.Stat(0x04, calib::StepSize, 3), StatError | errBadCalValue);
    EXPECT_EQ(m.Read(0x03, calib::DecimalPoint), 2);
    const float gross = m.Weight(0x0E);
    EXPECT_NEAR(gross * 20, std::round(gross * 20), 1e-3);  // steps of 0.05

    EXPECT_EQ(m.Read(0x03, calib::Counter), 0);
    EXPECT_EQ(m.Read(0x23) & 0x40, 0x40);  // unsaved changes
    const auto save = m.Cmd(0x1C, 0x02);
    EXPECT_EQ(save.stat, StatDone);
    EXPECT_EQ(save.readyAt, m.now + Millis(200));
    EXPECT_EQ(m.Read(0x03, calib::Counter), 1);
    EXPECT_EQ(m.Read(0x23) & 0x40, 0);
    EXPECT_EQ(m.Stat(0x1C, 0x06), StatError | errBadGenValueId);

    EXPECT_EQ(m.Stat(0x04, calib::Enable, 0), StatDone);
    EXPECT_EQ(m.Stat(0x04, calib::Max, 1), StatError | errCalNotOpen);
}

TEST(WeighModule, SetpointsSwitchWithHysteresis)
{
    TModuleUnderTest m;  // 60 kg
    EXPECT_EQ(m.Read(0x1D, 0x30), 1000);
    EXPECT_EQ(m.Stat(0x1D, 0x61, 550), StatDone);  // point 1 at 55.0 kg
    EXPECT_EQ(m.Stat(0x1D, 0x51, 100), StatDone);  // 10.0 kg hysteresis
    EXPECT_EQ(m.Read(0x1D, 0x31), 550);
    EXPECT_EQ(m.Read(0x1D, 0x21), 100);
    m.Run(Millis(100));
    EXPECT_EQ(m.module.LimitStatus() & 0x0F, 0x02);
    m.module.Scale().Load() -= 8;  // 52 kg: inside the hysteresis, still on
    m.Run(Millis(500));
    EXPECT_EQ(m.module.LimitStatus() & 0x0F, 0x02);
    m.module.Scale().Load() -= 8;  // 44 kg: off
    m.Run(Millis(500));
    EXPECT_EQ(m.module.LimitStatus() & 0x0F, 0x00);

    EXPECT_EQ(m.Stat(0x1D, 0x41, 1), StatDone);  // source net
    EXPECT_EQ(m.Read(0x1D, 0x11), 1);
    EXPECT_EQ(m.Stat(0x1D, 0x41, 2), StatError | errBadGenParamValue);
    EXPECT_EQ(m.Stat(0x1D, 0x34), StatError | errBadGenValueId);
    EXPECT_EQ(m.Stat(0x1D, 0x71), StatError | errBadGenValueId);
}

TEST(WeighModule, LinearisationPointsBendTheCharacteristic)
{
    TModuleUnderTest m;                             // 60 kg
    EXPECT_EQ(m.Stat(0x2B, 0x40, 1000), StatDone);  // X0 100.0 kg
    EXPECT_EQ(m.Stat(0x2B, 0x50, 1100), StatDone);  // Y0 110.0 kg
    EXPECT_EQ(m.Read(0x2B, 0x10), 1000);
    EXPECT_EQ(m.Read(0x2B, 0x20), 1100);
    m.Run(Millis(100));
    EXPECT_NEAR(m.Weight(0x0E), 66.0, 0.2);
    EXPECT_EQ(m.Stat(0x2B, 0x56, 1000), StatDone);  // point 6 as the dialog sends it
    EXPECT_EQ(m.Read(0x2B, 0x26), 1000);
    EXPECT_EQ(m.Stat(0x2C), StatDone);  // straight again
    EXPECT_EQ(m.Read(0x2B, 0x10), 0);
    m.Run(Millis(100));
    EXPECT_NEAR(m.Weight(0x0E), 60.0, 0.2);
    EXPECT_EQ(m.Stat(0x2B, 0x17), StatError | errBadCalId);
    EXPECT_EQ(m.Stat(0x2B, 0x40, 99999999), StatError | errBadCalValue);
}

TEST(WeighModule, TriggerMeasuresTheAverageAfterTheLevelIsPassed)
{
    TModuleUnderTest m;                            // 60 kg, trigger level 50.0 kg rising
    EXPECT_EQ(m.Stat(0x26, 0x81, 800), StatDone);  // level 80.0 kg
    EXPECT_EQ(m.Read(0x26, 0x01), 800);
    m.module.Scale().Load() += 40;  // 100 kg
    m.Run(Millis(200));
    EXPECT_TRUE(m.module.Trigger().Measuring());
    m.Run(Millis(1000));  // start delay 100 ms, measuring time 500 ms
    EXPECT_TRUE(m.module.Trigger().Holding());
    EXPECT_EQ(m.Read(0x23) & 0x0200, 0x0200);
    EXPECT_NEAR(m.Weight(0x0A), 100.0, 0.3);
    EXPECT_EQ(m.Stat(0x26, 0x89), StatError | errBadTrigParamId);
    EXPECT_EQ(m.Stat(0x26, 0x82, 2), StatError | errBadTrigParamValue);
}

TEST(WeighModule, AnsweresIdentificationAndRefusesUnknownCodes)
{
    TModuleUnderTest m(3);
    EXPECT_EQ(m.Read(0x15), 2301003);
    EXPECT_EQ(m.Read(0x25), 0x0215);
    EXPECT_EQ(m.Read(0x14), 3);
    EXPECT_EQ(m.Read(0x16), 0);
    EXPECT_GT(m.Read(0x19), 7000000);
    for (std::uint8_t unknown : {0x00, 0x02, 0x07, 0x09, 0x0D, 0x13, 0x18, 0x21, 0x27, 0x28, 0x2D, 0xFF})
        EXPECT_EQ(m.Stat(unknown), StatError | errNotImplemented) << int(unknown);
}

TEST(WeighModule, FactoryDefaultsRestoreTheSetUp)
{
    TModuleUnderTest m;
    m.Cmd(0x1F, standard::FilterValue, 10);
    m.Cmd(0x06, 0x81, 1234);
    m.Cmd(0x1D, 0x60, 5);
    m.Cmd(0x04, calib::Enable, 1);
    const auto result = m.Cmd(0x08);
    EXPECT_EQ(result.stat, StatDone);
    EXPECT_EQ(result.readyAt, m.now + Millis(500));
    EXPECT_EQ(m.Read(0x12, standard::FilterValue), 4);
    EXPECT_EQ(m.Read(0x06, 0x01), 1000);
    EXPECT_EQ(m.Read(0x1D, 0x30), 1000);
}

TEST(WeighModule, ArbitraryCommandsKeepTheModelSound)
{
    std::mt19937 random(3);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::int32_t> value(-100000, 100000);
    TModuleUnderTest m;
    m.Cmd(0x04, calib::Enable, 1);
    for (int i = 0; i < 20000; ++i) {
        const auto cmd = static_cast<std::uint8_t>(byte(random) % 0x30);
        if (cmd == 0x04 && byte(random) < 200) continue;  // keep most of the calibration
        const auto result = m.Cmd(cmd, static_cast<std::uint8_t>(byte(random)), value(random));
        ASSERT_TRUE(result.Succeeded() || (result.stat & 0xC0) == StatError) << int(cmd);
        if (i % 50 == 0) m.Run(Millis(100));
    }
    const auto block = m.module.Block();
    EXPECT_TRUE(std::isfinite(FloatFromBits(BigEndian32(block.data()))));
    EXPECT_TRUE(std::isfinite(FloatFromBits(BigEndian32(block.data() + 4))));
}
