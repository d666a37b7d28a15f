#include "MassFlow.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr double NominalOutput = 50.0;  // % at which the feeder gives the set-point

}  // namespace

TCommandResult TMassFlow::Control(std::int32_t word)
{
    const int requested = (word >> 4) & 0x03;
    if (word & ~0x3F || requested == 2) return TCommandResult::Error(errBadFlowParamValue);
    switch (requested) {
    case Running: {
        const auto& p = params_.massflow;
        if (p[massflow::SetPoint] <= 0 || p[massflow::RefillHigh] <= p[massflow::RefillLow] ||
            p[massflow::MinOutput] > p[massflow::MaxOutput])
            return TCommandResult::Error(errBadFlowParamValue);
        if (state_ == Stopped) {
            total_ = 0;
            integral_ = 0;
            output_ = std::clamp(NominalOutput, double(p[massflow::MinOutput]), double(p[massflow::MaxOutput]));
            samples_.clear();
            trend_ = 0;
            trendValid_ = false;
        }
        state_ = Running;
        break;
    }
    case Paused:
        if (state_ == Stopped) return TCommandResult::Error(errNotReady);
        state_ = Paused;
        break;
    default: Stop(); break;
    }
    options_ = word & 0x0F;
    return TCommandResult::Done(ControlWord());
}

void TMassFlow::Stop()
{
    state_ = Stopped;
    refilling_ = false;
    flow_ = 0;
    trend_ = 0;
    trendValid_ = false;
    samples_.clear();
}

void TMassFlow::Step(double dt)
{
    time_ += dt;
    flow_ = 0;
    if (state_ == Stopped) return;
    if (state_ == Running) {
        flow_ = output_ / NominalOutput * SetPointKgH() * MaterialFactor;
        const double fed = flow_ / 3600.0 * dt;
        scale_.Load() = std::max(0.0, scale_.Load() - fed);
        total_ += fed;
    }
    Refill(dt);
    Measure(dt);
    if (state_ == Running) Regulate(dt);
}

void TMassFlow::Refill(double dt)
{
    const double low = params_.Kg(params_.massflow[massflow::RefillLow]);
    const double high = params_.Kg(params_.massflow[massflow::RefillHigh]);
    if (!refilling_ && (options_ & AutoRefill) && state_ == Running && scale_.Gross() <= low) refilling_ = true;
    if (!refilling_) return;
    const double seconds = params_.massflow[massflow::RefillTime] / 1000.0;
    scale_.Load() += (high - low) / seconds * dt;
    if (scale_.Gross() >= high) {
        refilling_ = false;
        samples_.clear();  // the weight jumped: measure afresh
    }
}

void TMassFlow::Measure(double dt)
{
    if (refilling_) return;  // the trend holds while the hopper fills
    const double window = params_.massflow[massflow::CalcTime] / 1000.0;
    samples_.emplace_back(time_, scale_.GrossFine());
    while (time_ - samples_.front().first > window + 1e-9) samples_.pop_front();
    trendValid_ = time_ - samples_.front().first >= window / 2 - dt;
    if (!trendValid_ || samples_.size() < 2) return;
    // Least-squares slope of the weight over the window.
    double st = 0, sw = 0, stt = 0, stw = 0;
    const double n = static_cast<double>(samples_.size());
    for (const auto& [t, w] : samples_) {
        const double x = t - time_;
        st += x;
        sw += w;
        stt += x * x;
        stw += x * w;
    }
    const double denominator = n * stt - st * st;
    if (denominator > 0) trend_ = -(n * stw - st * sw) / denominator * 3600.0;
}

void TMassFlow::Regulate(double dt)
{
    const auto& p = params_.massflow;
    if (!(options_ & Gravimetric) || refilling_ || !trendValid_) return;
    const double setPoint = SetPointKgH();
    const double error = (setPoint - trend_) / setPoint * 100.0;  // %
    const double gain = p[massflow::Gain] / 100.0;
    const double integralTime = p[massflow::IntegralTime] / 1000.0;
    if (integralTime > 0) integral_ += gain * error * dt / integralTime;
    const double low = p[massflow::MinOutput], high = p[massflow::MaxOutput];
    integral_ = std::clamp(integral_, low - NominalOutput, high - NominalOutput);  // no wind-up
    output_ = std::clamp(NominalOutput + gain * error * 0.1 + integral_, low, high);
}

std::uint32_t TMassFlow::Status() const
{
    const auto& p = params_.massflow;
    std::uint32_t s = 0;
    if (state_ == Running) s |= 0x01;
    if (state_ == Paused) s |= 0x02;
    if (refilling_) s |= 0x04;
    const double setPoint = SetPointKgH();
    if (state_ == Running && trendValid_ && setPoint > 0 &&
        std::abs(trend_ - setPoint) > setPoint * p[massflow::Tolerance] / 100.0)
        s |= 0x08;
    if (state_ == Running && output_ >= p[massflow::MaxOutput]) s |= 0x10;
    if (state_ == Running && output_ <= p[massflow::MinOutput]) s |= 0x20;
    if (options_ & Gravimetric) s |= 0x40;
    if (trendValid_) s |= 0x80;
    return s;
}

}  // namespace sim
