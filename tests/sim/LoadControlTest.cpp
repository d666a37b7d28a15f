// The load control of the simulator: what a control line or --load means,
// and a shaken scale never coming to rest.
#include "ModuleTestSupport.h"
#include "sim/LoadControl.h"

#include <gtest/gtest.h>

using namespace simtest;

TEST(LoadControlTest, ParsesCommandsAndRefusesAnythingElseWithAReason)
{
    using Kind = sim::TLoadCommand::TKind;
    const struct {
        const char* line;
        const char* error;  // a piece of the refusal, "" when accepted
        Kind kind;
        int unit;
        double kg;
        bool motion;
    } rows[] = {
        {"load 0 50", "", Kind::Load, 0, 50, false},
        {"  load\t7 -2.5\r", "", Kind::Load, 7, -2.5, false},
        {"motion 3 on", "", Kind::Motion, 3, 0, true},
        {"motion 3 off", "", Kind::Motion, 3, 0, false},
        {"load 8 5", "unit address from 0 to 7", {}, 0, 0, false},
        {"load 0 5kg", "number of kg", {}, 0, 0, false},
        {"load 0 nan", "number of kg", {}, 0, 0, false},
        {"load 0 1e9", "number of kg", {}, 0, 0, false},
        {"motion 0 yes", "'on' or 'off'", {}, 0, 0, false},
        {"load 0", "expected 'load UNIT KG'", {}, 0, 0, false},
        {"shake 0 on", "expected 'load UNIT KG'", {}, 0, 0, false},
    };
    for (const auto& row : rows) {
        std::string error;
        const auto command = sim::ParseControlLine(row.line, error);
        if (*row.error) {
            EXPECT_FALSE(command) << row.line;
            EXPECT_NE(error.find(row.error), std::string::npos) << row.line << ": " << error;
            continue;
        }
        ASSERT_TRUE(command) << row.line << ": " << error;
        EXPECT_EQ(command->kind, row.kind) << row.line;
        EXPECT_EQ(command->unit, row.unit) << row.line;
        EXPECT_EQ(command->kg, row.kg) << row.line;
        EXPECT_EQ(command->motion, row.motion) << row.line;
    }
    std::string error;
    EXPECT_FALSE(sim::ParseControlLine("  # a comment", error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(sim::ParseLoadOption("1:12.5", error)->kg, 12.5);
    EXPECT_FALSE(sim::ParseLoadOption("1=12.5", error));
    EXPECT_FALSE(sim::ParseLoadOption(":12", error));
}

TEST(LoadControlTest, AShakenScaleIsNeverStableAndCalibrationWaitsForIt)
{
    TModuleUnderTest m;
    m.module.Scale().SetMotion(true);
    EXPECT_EQ(m.Stat(0x04, 0x03, 1), sim::StatDone);  // CE
    for (int i = 0; i < 20; ++i) {
        m.Run(sim::Millis(250));
        ASSERT_FALSE(m.module.Scale().Stable()) << i;
    }
    EXPECT_EQ(m.Stat(0x04, 0x0A), sim::StatError | sim::errNotStable);  // CZ
    m.module.Scale().SetMotion(false);
    m.Run(sim::Millis(1500));
    EXPECT_TRUE(m.module.Scale().Stable());
}
