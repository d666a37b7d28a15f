#include "Steadiness.h"

#include <algorithm>
#include <cmath>

TSteadiness::TSteadiness(double stepKg, std::chrono::milliseconds window) : step_(stepKg), window_(window) {}

double TSteadiness::StepKg(std::int32_t decimals, std::int32_t stepSize)
{
    const double step = stepSize * std::pow(10.0, -decimals);
    return step > 0 ? step : 1.0;
}

TSteadiness TSteadiness::OfModule(std::int32_t decimals, std::int32_t stepSize, std::int32_t noMotionMs)
{
    return TSteadiness(StepKg(decimals, stepSize), std::chrono::milliseconds(noMotionMs));
}

void TSteadiness::Add(TClock::time_point time, double grossKg)
{
    if (!std::isfinite(grossKg)) {
        samples_.clear();
        return;
    }
    samples_.push_back({time, grossKg});
    // Keep the newest readings that lie within one step; an older one
    // outside that band ends the rest period for every later reading too.
    const double tolerance = step_ * 1e-6;  // the readings are floats
    double low = grossKg, high = grossKg;
    std::size_t keep = 0;
    for (auto it = samples_.rbegin(); it != samples_.rend(); ++it, ++keep) {
        low = std::min(low, it->kg);
        high = std::max(high, it->kg);
        if (high - low > step_ + tolerance) break;
    }
    samples_.erase(samples_.begin(), samples_.end() - static_cast<std::ptrdiff_t>(keep));
    // A long rest needs only the readings of the last window (and one before
    // it), and at least the few that make a rest.
    while (samples_.size() > MinReadings && samples_[1].time <= time - window_) samples_.pop_front();
}

double TSteadiness::Fraction() const
{
    const double readings = std::min(1.0, static_cast<double>(samples_.size()) / MinReadings);
    if (window_.count() <= 0) return readings;
    const std::chrono::duration<double> rest =
        samples_.empty() ? std::chrono::duration<double>(0) : samples_.back().time - samples_.front().time;
    return std::min(readings, std::clamp(rest / std::chrono::duration<double>(window_), 0.0, 1.0));
}
