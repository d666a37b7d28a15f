#include "Scale.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace sim {

namespace {

constexpr std::size_t MaxAverage = 1000;
constexpr double MinCalibrationSpan = 1000;  // counts between zero and the calibration load

}  // namespace

TScale::TScale(const TModuleParams& params, double loadKg, std::uint32_t seed)
    : params_(params), load_(loadKg), random_(seed)
{
    filtered_ = DeadCounts + load_ * CountsPerKg;
    rawCounts_ = static_cast<std::int32_t>(std::lround(filtered_));
    // Power-up zero: a small load at switch-on is taken as the zero point.
    const double powerUpRange = params_.standard[standard::PowerUpZero] / 100.0 * params_.Kg(params_.capacity);
    if (std::abs(Calibrated()) <= powerUpRange) systemZero_ = Calibrated();
}

void TScale::Step(double dt)
{
    time_ += dt;
    // Two frequencies, so that no averaging window cancels the swing.
    const double swing = motion_ ? MotionKg * (0.7 * std::sin(2 * std::numbers::pi * 1.3 * time_) +
                                               0.3 * std::sin(2 * std::numbers::pi * 0.37 * time_))
                                 : 0.0;
    const double raw = DeadCounts + (load_ + swing) * CountsPerKg + noise_(random_);
    rawCounts_ = static_cast<std::int32_t>(std::lround(raw));
    const double cutOff = params_.standard[standard::FilterValue];
    const double alpha = 1.0 - std::exp(-2.0 * std::numbers::pi * cutOff * dt);
    filtered_ += alpha * (raw - filtered_);

    const double gross = Calibrated() - systemZero_;
    const double window = params_.standard[standard::NoMotionTime] / 1000.0;
    history_.emplace_back(time_, gross);
    while (time_ - history_.front().first > window + 1e-9) history_.pop_front();
    const auto [low, high] = std::minmax_element(history_.begin(), history_.end(),
                                                 [](const auto& a, const auto& b) { return a.second < b.second; });
    const bool covered = history_.front().first <= time_ - window + dt / 2 || window == 0;
    stable_ = covered && high->second - low->second <= params_.Kg(params_.standard[standard::NoMotionRange]) + 1e-9;

    recentNet_.push_back(Net());
    if (recentNet_.size() > MaxAverage) recentNet_.pop_front();
    TrackZero(dt);
}

double TScale::Calibrated() const { return Linearised((filtered_ - calZero_) * gain_); }

double TScale::Linearised(double kg) const
{
    std::vector<std::pair<double, double>> points{{0.0, 0.0}};
    for (int i = 0; i < LinPoints; ++i)
        if (LinX(i) != 0 || LinY(i) != 0) points.emplace_back(params_.Kg(LinX(i)), params_.Kg(LinY(i)));
    if (points.size() == 1) return kg;
    std::sort(points.begin(), points.end());
    points.erase(
        std::unique(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
        points.end());
    if (points.size() == 1) return kg;
    // The segment that holds kg; beyond the ends the outer segments go on.
    std::size_t i = 1;
    while (i + 1 < points.size() && kg > points[i].first) ++i;
    const auto [x0, y0] = points[i - 1];
    const auto [x1, y1] = points[i];
    return y0 + (kg - x0) * (y1 - y0) / (x1 - x0);
}

double TScale::Round(double kg) const
{
    const double step = params_.Step();
    const double rounded = std::round(kg / step) * step;
    return rounded == 0 ? 0.0 : rounded;  // no "-0"
}

double TScale::Gross() const { return Round(Calibrated() - systemZero_); }

double TScale::Average(int samples) const
{
    const std::size_t n = std::min(recentNet_.size(), static_cast<std::size_t>(std::max(samples, 1)));
    if (n == 0) return Net();
    double sum = 0;
    for (std::size_t i = recentNet_.size() - n; i < recentNet_.size(); ++i) sum += recentNet_[i];
    return Round(sum / static_cast<double>(n));
}

bool TScale::Overload() const { return Gross() > params_.Kg(params_.standard[standard::OverloadLimit]); }
bool TScale::Underload() const { return Gross() < params_.Kg(params_.standard[standard::UnderloadLimit]); }
bool TScale::CenterOfZero() const { return std::abs(Calibrated() - systemZero_) <= params_.Step() / 4; }

TCommandResult TScale::SetZero()
{
    if (!stable_) return TCommandResult::Error(errNotStable);
    const double offset = Calibrated();
    const double range = params_.standard[standard::ZeroRange] / 100.0 * params_.Kg(params_.capacity);
    if (std::abs(offset) > range) return TCommandResult::Error(errBadTareRange);
    systemZero_ = offset;
    return TCommandResult::Done(static_cast<std::int32_t>(std::lround(offset / params_.Unit())));
}

TCommandResult TScale::SetTare()
{
    if (!stable_) return TCommandResult::Error(errNotStable);
    const double gross = Gross();
    if (gross < params_.Kg(params_.standard[standard::TareLimit]) ||
        gross > params_.Kg(params_.standard[standard::TareRange]))
        return TCommandResult::Error(errBadTareRange);
    TareAt(gross);
    return TCommandResult::Done(static_cast<std::int32_t>(std::lround(gross / params_.Unit())));
}

TCommandResult TScale::CalibrateZero()
{
    if (!stable_) return TCommandResult::Error(errNotStable);
    calZero_ = static_cast<std::int32_t>(std::lround(filtered_));
    systemZero_ = 0;
    return TCommandResult::Done(calZero_);
}

TCommandResult TScale::CalibrateGain(std::int32_t displayValue)
{
    if (!stable_) return TCommandResult::Error(errNotStable);
    const double span = filtered_ - calZero_;
    if (displayValue <= 0 || displayValue > params_.capacity || span < MinCalibrationSpan)
        return TCommandResult::Error(errBadCalValue);
    gain_ = params_.Kg(displayValue) / span;
    return TCommandResult::Done(displayValue);
}

void TScale::TrackZero(double dt)
{
    const double gross = Calibrated() - systemZero_;
    const bool near = std::abs(gross) <= params_.Kg(params_.standard[standard::ZeroTrackRange]);
    if (!params_.standard[standard::ZeroTracking] || !stable_ || !near || tareSet_) {
        zeroTrackSince_ = -1;
        return;
    }
    if (zeroTrackSince_ < 0) zeroTrackSince_ = 0;
    zeroTrackSince_ += dt;
    if (zeroTrackSince_ * 1000 >= params_.standard[standard::ZeroTrackTime]) {
        systemZero_ += gross;
        zeroTrackSince_ = -1;
    }
}

}  // namespace sim
