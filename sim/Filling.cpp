#include "Filling.h"

#include <algorithm>

namespace sim {

double TFilling::CoarseRate() const
{
    // A quarter of the target per second: a cycle takes a few seconds.
    return std::max(params_.Kg(params_.filling[filling::Target]) / 4, 0.5);
}

void TFilling::Enter(TPhase next)
{
    phase_ = next;
    inPhase_ = 0;
}

TCommandResult TFilling::StartProgram()
{
    emptyLoad_ = scale_.Load();
    complete_ = outOfTolerance_ = timedOut_ = false;
    Enter(TPhase::Waiting);
    return TCommandResult::Done(static_cast<std::int32_t>(Status()));
}

TCommandResult TFilling::Abort()
{
    flightLeft_ = 0;
    Enter(TPhase::Off);
    return TCommandResult::Done(static_cast<std::int32_t>(Status()));
}

TCommandResult TFilling::Trigger()
{
    if (phase_ == TPhase::Off) return TCommandResult::Error(errNotReady);
    if (phase_ == TPhase::Waiting) {
        const std::int32_t target = params_.filling[filling::Target];
        const std::int32_t coarse = params_.filling[filling::CoarseCutOff];
        const std::int32_t fine = params_.filling[filling::FineCutOff];
        if (coarse < fine || coarse >= target) return TCommandResult::Error(errBadFillSlope);
        complete_ = outOfTolerance_ = timedOut_ = false;
        inCycle_ = 0;
        Enter(TPhase::Emptying);
    }
    return TCommandResult::Done(static_cast<std::int32_t>(Status()));
}

void TFilling::Step(double dt)
{
    if (phase_ == TPhase::Off || phase_ == TPhase::Waiting) return;
    inPhase_ += dt;
    inCycle_ += dt;
    const double target = params_.Kg(params_.filling[filling::Target]);
    const auto ms = [](double seconds) { return seconds * 1000.0; };
    if (phase_ >= TPhase::Taring && phase_ <= TPhase::Fine && ms(inCycle_) > params_.filling[filling::MaxFillTime]) {
        Finish(true);
        return;
    }
    switch (phase_) {
    case TPhase::Emptying:
        if (scale_.Load() - emptyLoad_ > params_.Kg(params_.filling[filling::EmptyLimit]))
            scale_.Load() = std::max(emptyLoad_, scale_.Load() - CoarseRate() * dt);
        else
            Enter(TPhase::Taring);
        break;
    case TPhase::Taring:
        if (ms(inPhase_) >= params_.filling[filling::TareDelay] && scale_.Stable()) {
            scale_.TareAt(scale_.Gross());
            Enter(TPhase::Coarse);
        }
        break;
    case TPhase::Coarse:
        scale_.Load() += CoarseRate() * dt;
        if (scale_.Net() >= target - params_.Kg(params_.filling[filling::CoarseCutOff])) Enter(TPhase::Fine);
        break;
    case TPhase::Fine:
        scale_.Load() += FineRate() * dt;
        if (scale_.Net() >= target - params_.Kg(params_.filling[filling::FineCutOff]) - correction_) {
            flightLeft_ = FineRate() * FlightSeconds;
            Enter(TPhase::Flight);
        }
        break;
    case TPhase::Flight: {
        const double landing = std::min(flightLeft_, FineRate() * dt);
        scale_.Load() += landing;
        flightLeft_ -= landing;
        if (flightLeft_ <= 1e-9) Enter(TPhase::Settling);
        break;
    }
    case TPhase::Settling:
        if (ms(inPhase_) >= params_.filling[filling::SettlingTime] && scale_.Stable()) Finish(false);
        break;
    default: break;
    }
}

void TFilling::Finish(bool timedOut)
{
    const double target = params_.Kg(params_.filling[filling::Target]);
    lastDosed_ = scale_.Net();
    lastTare_ = scale_.Tare();
    timedOut_ = timedOut;
    outOfTolerance_ = timedOut || lastDosed_ > target + params_.Kg(params_.filling[filling::UpperTolerance]) ||
                      lastDosed_ < target - params_.Kg(params_.filling[filling::LowerTolerance]);
    // Learn the material in flight: next time cut off earlier by the overshoot.
    if (!timedOut && params_.filling[filling::CutOffCorrection]) correction_ += (lastDosed_ - target) / 2;
    complete_ = true;
    flightLeft_ = 0;
    Enter(TPhase::Waiting);
}

std::uint32_t TFilling::Status() const
{
    std::uint32_t s = 0;
    if (phase_ != TPhase::Off) s |= 0x001;
    if (phase_ >= TPhase::Emptying) s |= 0x002;
    if (phase_ == TPhase::Emptying) s |= 0x004;
    if (phase_ == TPhase::Taring) s |= 0x008;
    if (phase_ == TPhase::Coarse) s |= 0x010;
    if (phase_ == TPhase::Fine) s |= 0x020;
    if (phase_ == TPhase::Flight || phase_ == TPhase::Settling) s |= 0x040;
    if (complete_) s |= 0x080;
    if (outOfTolerance_) s |= 0x100;
    if (timedOut_) s |= 0x200;
    return s;
}

}  // namespace sim
