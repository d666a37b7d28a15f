// One simulated weighing module: its parameters, its scale, and the command
// set of the command channel. Each command returns Stat 0x01 with data
// read, Stat 0x03 after a change or an action, or an error Stat with the
// module's error code.
#pragma once

#include "CommandResult.h"
#include "ModuleParams.h"
#include "Scale.h"
#include "SimClock.h"

#include <array>
#include <cstdint>

namespace sim {

class TWeighModule {
public:
    static constexpr std::size_t kBlockBytes = 16;

    // `number` is the module's position behind the station (0..7); it sets
    // the initial load and the seed of the noise.
    TWeighModule(int number, std::uint32_t seed, SimTime start);

    // Runs the model up to `now` (in steps of 10 ms, coarser after a long pause).
    void Advance(SimTime now);
    TCommandResult Execute(std::uint8_t cmd, std::uint8_t index, std::int32_t value, SimTime now);
    // The module's 16 bytes of the cyclic input data.
    std::array<std::uint8_t, kBlockBytes> Block() const;

    const TScale& Scale() const { return scale_; }
    TScale& Scale() { return scale_; }
    const TModuleParams& Params() const { return params_; }
    // Status word (the cyclic Status Bytes are its low 16 bits).
    std::uint32_t Status() const;
    std::uint16_t Qualifier() const;

private:
    void Step(double dt);
    TCommandResult Calibration(std::uint8_t cmd, std::uint8_t index, std::int32_t value);

    int number_;
    TModuleParams params_;
    TScale scale_;
    SimTime clock_;
};

// IEEE 754 single-precision bits of a weight, as the channel carries them.
std::int32_t FloatBits(double value);

}  // namespace sim
