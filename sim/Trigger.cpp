#include "Trigger.h"

#include <cmath>

namespace sim {

bool TTrigger::Crossed(double previous, double current) const
{
    const double level = params_.Kg(params_.trigger[trigger::Level]);
    if (params_.trigger[trigger::Edge]) return previous < level && current >= level;
    return previous > level && current <= level;
}

void TTrigger::Rearm()
{
    if (phase_ == TPhase::Stopped || phase_ == TPhase::Rearming) phase_ = TPhase::Armed;
}

void TTrigger::Step(double dt)
{
    const double net = scale_.Net();
    if (!started_) {
        previous_ = net;
        started_ = true;
    }
    inPhase_ += dt;
    sinceTrigger_ += dt;
    const auto ms = [](double seconds) { return seconds * 1000.0; };
    const auto enter = [this](TPhase next) {
        phase_ = next;
        inPhase_ = 0;
    };
    switch (phase_) {
    case TPhase::Armed:
        if (Crossed(previous_, net)) {
            sinceTrigger_ = 0;
            sum_ = 0;
            samples_ = 0;
            enter(TPhase::Delay);
        }
        break;
    case TPhase::Delay:
        if (ms(inPhase_) >= params_.standard[standard::StartDelay]) enter(TPhase::Measuring);
        break;
    case TPhase::Measuring:
        sum_ += net;
        ++samples_;
        if (ms(inPhase_) >= params_.standard[standard::MeasuringTime]) {
            average_ = std::round(sum_ / samples_ / params_.Step()) * params_.Step();
            hasAverage_ = true;
            enter(TPhase::Holding);
        }
        break;
    case TPhase::Holding:
        if (ms(inPhase_) >= params_.trigger[trigger::HoldTime])
            enter(params_.trigger[trigger::RetrigStop] ? TPhase::Stopped : TPhase::Rearming);
        break;
    case TPhase::Rearming: {
        const double level = params_.Kg(params_.trigger[trigger::Level]);
        const bool left = std::abs(net - level) > params_.Kg(params_.trigger[trigger::RetrigWindow]);
        if (left && ms(sinceTrigger_) >= params_.trigger[trigger::RetrigTime]) enter(TPhase::Armed);
        break;
    }
    case TPhase::Stopped: break;
    }
    previous_ = net;
    AutoTare(dt);
}

void TTrigger::AutoTare(double dt)
{
    const std::int32_t window = params_.trigger[trigger::TareWindow];
    if (window <= 0 || scale_.NetMode() || !scale_.Stable() || scale_.Gross() < params_.Kg(window)) {
        settledAbove_ = 0;
        return;
    }
    settledAbove_ += dt;
    if (settledAbove_ * 1000.0 >= params_.trigger[trigger::TareTime]) {
        scale_.TareAt(scale_.Gross());
        settledAbove_ = 0;
    }
}

}  // namespace sim
