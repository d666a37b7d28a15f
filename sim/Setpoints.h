// The four setpoints of a module: limit value, hysteresis and source
// (gross or net). A setpoint switches on at its limit and off again below
// limit minus hysteresis; the states form the Limit Status byte.
#pragma once

#include "CommandResult.h"
#include "ModuleParams.h"

#include <array>
#include <cstdint>

namespace sim {

class TSetpoints {
public:
    static constexpr int Points = 4;

    TSetpoints() { Reset(); }
    void Reset();

    // Command 1D: index 3p/2p/1p reads limit/hysteresis/source of point p,
    // 6p/5p/4p writes it.
    TCommandResult Command(std::uint8_t index, std::int32_t value);
    void Update(const TModuleParams& params, double grossKg, double netKg);
    std::uint8_t States() const { return states_; }

private:
    std::array<std::int32_t, Points> limit_{};
    std::array<std::int32_t, Points> hysteresis_{};
    std::array<std::int32_t, Points> source_{};
    std::uint8_t states_ = 0;
};

}  // namespace sim
