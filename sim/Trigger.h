// The triggered measurement: when the net weight passes the trigger level
// in the chosen direction, the module waits the start delay, averages over
// the measuring time and holds the result for the hold time. It triggers
// again once the retrigger time has passed and the weight has left the
// retrigger window around the level, unless retriggering is stopped. With a
// tare window set, a load that settles above it in gross mode is tared
// after the tare time.
#pragma once

#include "ModuleParams.h"
#include "Scale.h"

namespace sim {

class TTrigger {
public:
    enum class TPhase { Armed, Delay, Measuring, Holding, Rearming, Stopped };

    TTrigger(const TModuleParams& params, TScale& scale) : params_(params), scale_(scale) {}

    void Step(double dt);
    void Rearm();  // after a trigger parameter was written

    bool HasAverage() const { return hasAverage_; }
    double Average() const { return average_; }
    TPhase Phase() const { return phase_; }
    bool Holding() const { return phase_ == TPhase::Holding; }
    bool Measuring() const { return phase_ == TPhase::Delay || phase_ == TPhase::Measuring; }

private:
    bool Crossed(double previous, double current) const;
    void AutoTare(double dt);

    const TModuleParams& params_;
    TScale& scale_;
    TPhase phase_ = TPhase::Armed;
    double previous_ = 0;
    bool started_ = false;
    double inPhase_ = 0;       // seconds in the present phase
    double sinceTrigger_ = 0;  // seconds since the last trigger
    double sum_ = 0;
    int samples_ = 0;
    bool hasAverage_ = false;
    double average_ = 0;
    double settledAbove_ = 0;  // seconds a load has stood above the tare window
};

}  // namespace sim
