// The shipped Quorvel.conf: its item numbers must agree with the parameter
// numbers the function keys read and write.
#include "ConfigFile.h"
#include "FunctionTable.h"

#include <gtest/gtest.h>
#include <map>

namespace {

class ShippedConfig : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto load = conf::LoadFirstConfig({QUORVEL_SHIPPED_CONF});
        ASSERT_FALSE(load.Path.empty());
        lines = load.Lines;
        for (const conf::TSheetPlan& plan : conf::PlanSheets(lines, {"Standard", "Trigger", "Filling", "Mass flow"}))
            plans[plan.Page] = plan;
    }
    std::string Item(int page, int number) const
    {
        const conf::TSheetPlan& plan = plans.at(page);
        if (number < 1 || number > plan.ItemCount) return "<none>";
        return conf::ItemText(lines.at(plan.Header + number));
    }
    conf::TLines lines;
    std::map<int, conf::TSheetPlan> plans;
};

TEST_F(ShippedConfig, FourPagesWhoseListsAreNotCut)
{
    ASSERT_EQ(plans.size(), 4u);
    for (const auto& [page, plan] : plans) EXPECT_EQ(plan.ItemCount, plan.ListedItems) << page;
    EXPECT_GT(plans.at(0).Header, 0);  // a first comment line, as a user's file has
}

TEST_F(ShippedConfig, StandardAndTriggerItemsSitWhereTheKeysExpectThem)
{
    const std::map<int, std::string> standard{
        {4, "Filter value"},       {8, "Measuring time (ms)"},  {9, "Filter mode"},
        {10, "No-motion range"},   {11, "No-motion time (ms)"}, {14, "Start delay (ms)"},
        {17, "Update rate (1/s)"}, {18, "Zero tracking"},       {19, "dTime (ms)"}};
    for (const auto& [number, text] : standard) EXPECT_EQ(Item(0, number), text) << number;
    const char* const trigger[] = {"Trigger level",  "Trigger edge", "Retrigger window", "Retrigger time (ms)",
                                   "Hold time (ms)", "Tare window",  "Tare time (ms)",   "Retrigger stop"};
    for (int n = 1; n <= 8; ++n) EXPECT_EQ(Item(1, n), trigger[n - 1]) << n;

    // Every standard or trigger parameter a key reads is an item of its page.
    for (const TFnEntry& key : FunctionTable()) {
        if (key.ClickCommand.size() != 2) continue;
        const int number = key.ClickCommand[1];
        if (key.ClickCommand[0] == 0x12) {
            EXPECT_NE(Item(0, number), "<none>") << key.Caption;
        } else if (key.ClickCommand[0] == 0x26) {
            EXPECT_NE(Item(1, number), "<none>") << key.Caption;
        }
    }
}

TEST_F(ShippedConfig, FillingAndMassFlowHoldTheControllersParameters)
{
    EXPECT_EQ(Item(2, 1), "Target weight");
    EXPECT_EQ(Item(2, 2), "Coarse cut-off");
    EXPECT_EQ(Item(2, 3), "Fine cut-off");
    EXPECT_EQ(Item(3, 1), "Flow set-point");
    EXPECT_EQ(Item(3, 3), "Refill low limit");
    EXPECT_EQ(Item(3, 4), "Refill high limit");
}

}  // namespace
