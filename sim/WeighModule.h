// One simulated weighing module: its parameters, its scale, the setpoints,
// the triggered measurement, the filling and mass flow controllers, and the
// command set of the command channel. Each command returns Stat 0x01 with
// data read, Stat 0x03 after a change or an action, or an error Stat with
// the module's error code.
#pragma once

#include "CommandResult.h"
#include "Filling.h"
#include "MassFlow.h"
#include "ModuleParams.h"
#include "Scale.h"
#include "Setpoints.h"
#include "SimClock.h"
#include "Trigger.h"

#include <array>
#include <cstdint>

namespace sim {

class TWeighModule {
public:
    static constexpr std::size_t BlockBytes = 16;

    // `number` is the module's position behind the station (0..7); it sets
    // the initial load and the seed of the noise.
    TWeighModule(int number, std::uint32_t seed, SimTime start);

    // Runs the model up to `now` (in steps of 10 ms, coarser after a long pause).
    void Advance(SimTime now);
    TCommandResult Execute(std::uint8_t cmd, std::uint8_t index, std::int32_t value, SimTime now);
    // The module's 16 bytes of the cyclic input data.
    std::array<std::uint8_t, BlockBytes> Block() const;

    const TScale& Scale() const { return scale_; }
    TScale& Scale() { return scale_; }
    const TModuleParams& Params() const { return params_; }
    const TFilling& Filling() const { return filling_; }
    const TMassFlow& MassFlow() const { return massFlow_; }
    const TTrigger& Trigger() const { return trigger_; }

    // Status word (the cyclic Status Bytes are its low 16 bits): bit 0
    // stable, 1 net mode, 2 centre of zero, 3 overload, 4 underload,
    // 5 calibration open, 6 unsaved changes, 7 filling program running,
    // 8 mass flow running, 9 triggered value held, 10 zero tracking on,
    // 11 refilling, 12 triggered measurement in progress.
    std::uint32_t Status() const;
    // Bit 0 valid, 1 stable, 2 net mode, 3 centre of zero, 4 overload,
    // 5 underload, bits 8..11 the decimal point.
    std::uint16_t Qualifier() const;
    // Bits 0..3 setpoints, 4 coarse feed, 5 fine feed, 6 mass flow feeder, 7 refill.
    std::uint8_t LimitStatus() const;

    // Groups of settings that Save (1C) stores.
    enum TSaveGroup : std::uint8_t {
        saveCalibration = 0x02,
        saveSetup = 0x04,
        saveDosing = 0x08,
        saveSetpoints = 0x10,
        saveMassFlow = 0x20,
    };
    std::uint8_t Unsaved() const { return unsaved_; }

private:
    void Step(double dt);
    TCommandResult Dispatch(std::uint8_t cmd, std::uint8_t index, std::int32_t value, SimTime now);
    TCommandResult Calibration(std::uint8_t cmd, std::uint8_t index, std::int32_t value);
    TCommandResult CalibrationValue(bool write, std::uint8_t index, std::int32_t value);
    TCommandResult Linearisation(std::uint8_t index, std::int32_t value);
    TCommandResult MassFlowCommand(std::uint8_t index, std::int32_t value);
    TCommandResult Save(std::uint8_t mask, SimTime now);
    TCommandResult FactoryDefaults(SimTime now);
    // Read (bit 7 of the index clear) or write of a page item; a successful
    // write marks the page's save group.
    TCommandResult PageCommand(TParamTable& page, std::uint8_t index, std::int32_t value, std::uint8_t group);

    int number_;
    TModuleParams params_;
    TScale scale_;
    TSetpoints setpoints_;
    TTrigger trigger_;
    TFilling filling_;
    TMassFlow massFlow_;
    std::uint8_t unsaved_ = 0;
    SimTime clock_;
};

// IEEE 754 single-precision bits of a weight, as the channel carries them.
std::int32_t FloatBits(double value);

}  // namespace sim
