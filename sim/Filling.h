// The filling controller. Start cycle (SC) starts the filling program, which
// then waits; the trigger command (TR) starts a cycle: empty the container
// below the empty limit, tare after the tare delay, feed coarse until the
// target minus the coarse cut-off, fine until the target minus the fine
// cut-off (plus the learnt in-flight correction), let the material in
// flight land, settle, and check the result against the tolerances. Abort
// (AC) stops the program. The feeds move the scale's load.
#pragma once

#include "CommandResult.h"
#include "ModuleParams.h"
#include "Scale.h"

#include <cstdint>

namespace sim {

class TFilling {
public:
    enum class TPhase { Off, Waiting, Emptying, Taring, Coarse, Fine, Flight, Settling };

    TFilling(const TModuleParams& params, TScale& scale) : params_(params), scale_(scale) {}

    void Step(double dt);
    TCommandResult StartProgram();  // SC
    TCommandResult Abort();         // AC
    TCommandResult Trigger();       // TR: start or continue a cycle

    // DI: bit 0 program running, 1 cycle active, 2 emptying, 3 taring,
    // 4 coarse feed, 5 fine feed, 6 settling, 7 last cycle complete,
    // 8 last result out of tolerance, 9 last cycle ran out of time.
    std::uint32_t Status() const;
    TPhase Phase() const { return phase_; }
    bool Running() const { return phase_ != TPhase::Off; }
    bool CoarseFeed() const { return phase_ == TPhase::Coarse; }
    bool FineFeed() const { return phase_ == TPhase::Fine; }
    double LastDosed() const { return lastDosed_; }
    double LastTare() const { return lastTare_; }

    double CoarseRate() const;  // kg/s
    double FineRate() const { return CoarseRate() / 10; }
    static constexpr double FlightSeconds = 0.25;

private:
    void Enter(TPhase next);
    void Finish(bool timedOut);

    const TModuleParams& params_;
    TScale& scale_;
    TPhase phase_ = TPhase::Off;
    double inPhase_ = 0;
    double inCycle_ = 0;
    double emptyLoad_ = 0;   // the empty container's load, kg
    double correction_ = 0;  // learnt in-flight correction, kg
    double flightLeft_ = 0;  // kg still falling
    double lastDosed_ = 0;
    double lastTare_ = 0;
    bool complete_ = false;
    bool outOfTolerance_ = false;
    bool timedOut_ = false;
};

}  // namespace sim
