// A weighing module driven by hand: time moves only when the test says so.
#pragma once

#include "SimTestSupport.h"
#include "WeighModule.h"

#include <gtest/gtest.h>

namespace simtest {

struct TModuleUnderTest {
    explicit TModuleUnderTest(int number = 0) : module(number, 1, sim::SimTime{}) { Run(sim::Millis(1000)); }

    void Run(sim::Millis duration)
    {
        now += duration;
        module.Advance(now);
    }
    sim::TCommandResult Cmd(std::uint8_t cmd, std::uint8_t index = 0, std::int32_t value = 0)
    {
        return module.Execute(cmd, index, value, now);
    }
    // A float result (weights, trend, total mass).
    float Weight(std::uint8_t cmd, std::uint8_t index = 0)
    {
        const auto result = Cmd(cmd, index);
        EXPECT_EQ(result.stat, sim::StatRead) << std::hex << int(cmd);
        return FloatFromBits(result.value);
    }
    std::int32_t Read(std::uint8_t cmd, std::uint8_t index = 0)
    {
        const auto result = Cmd(cmd, index);
        EXPECT_EQ(result.stat, sim::StatRead) << std::hex << int(cmd) << " " << int(index);
        return result.value;
    }
    // The Stat of a command: 0x01/0x03 success, 0x40 | code on refusal.
    int Stat(std::uint8_t cmd, std::uint8_t index = 0, std::int32_t value = 0) { return Cmd(cmd, index, value).stat; }

    sim::TWeighModule module;
    sim::SimTime now{};
};

}  // namespace simtest
