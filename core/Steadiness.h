// Whether the live gross weight is at rest: its readings have stayed within
// one display step of each other for the module's no-motion time, and there
// are a few of them (so that a no-motion time of 0 does not make any single
// reading rest). A flicker of the last digit between two neighbouring values
// is rounding, not motion; two steps apart is motion. Fed with every cyclic
// reading (no Qt).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>

class TSteadiness {
public:
    using TClock = std::chrono::steady_clock;
    static constexpr std::size_t MinReadings = 3;  // in a row, within one step

    TSteadiness(double stepKg, std::chrono::milliseconds window);
    // The module's own rest: its display step DS × 10^-DP kg (1 kg when that
    // is no step) over its no-motion time NT.
    static TSteadiness OfModule(std::int32_t decimals, std::int32_t stepSize, std::int32_t noMotionMs);
    static double StepKg(std::int32_t decimals, std::int32_t stepSize);

    void Add(TClock::time_point time, double grossKg);
    void Reset() { samples_.clear(); }
    // How much of the no-motion time the weight has been at rest, 0 to 1.
    double Fraction() const;
    bool Steady() const { return Fraction() >= 1.0; }
    double StepKg() const { return step_; }
    std::chrono::milliseconds Window() const { return window_; }

private:
    struct TSample {
        TClock::time_point time;
        double kg;
    };
    double step_;
    std::chrono::milliseconds window_;
    std::deque<TSample> samples_;  // the readings since the weight last moved
};
