// Whether the live gross weight is at rest: its readings have stayed within
// one display step of each other for the module's no-motion time. A flicker
// of the last digit between two neighbouring values is rounding, not motion;
// two steps apart is motion. Fed with every cyclic reading (no Qt).
#pragma once

#include <chrono>
#include <deque>

class TSteadiness {
public:
    using TClock = std::chrono::steady_clock;

    TSteadiness(double stepKg, std::chrono::milliseconds window);

    void Add(TClock::time_point time, double grossKg);
    void Reset() { samples_.clear(); }
    // How much of the no-motion time the weight has been at rest, 0 to 1.
    double Fraction() const;
    bool Steady() const { return !samples_.empty() && Fraction() >= 1.0; }
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
