// The weighing core of one module: a load cell whose signal carries a little
// noise, a low-pass filter, the calibration (zero counts and gain), the
// linearisation points, the system zero and the tare, and the no-motion
// check. Time advances in steps; the owner moves the true load.
#pragma once

#include "CommandResult.h"
#include "ModuleParams.h"

#include <array>
#include <cstdint>
#include <deque>
#include <random>

namespace sim {

class TScale {
public:
    static constexpr int LinPoints = 7;
    static constexpr double CountsPerKg = 2000.0;
    static constexpr std::int32_t DeadCounts = 80000;  // the empty structure's signal

    TScale(const TModuleParams& params, double loadKg, std::uint32_t seed);

    void Step(double dt);             // seconds
    double& Load() { return load_; }  // true load in kg; processes move it
    double Load() const { return load_; }
    // A shaking load (someone on the platform, a swinging weight): the signal
    // swings by MotionKg around the load until switched off.
    static constexpr double MotionKg = 2.0;
    void SetMotion(bool on) { motion_ = on; }
    bool Motion() const { return motion_; }

    // Readings in kg, rounded to the display step.
    double Gross() const;
    double GrossFine() const { return Calibrated() - systemZero_; }  // at the internal resolution
    double Net() const { return Gross() - tare_; }
    double Tare() const { return tare_; }
    bool NetMode() const { return tareSet_; }
    double Average(int samples) const;  // running average of the net weight
    std::int32_t RawCounts() const { return rawCounts_; }
    bool Stable() const { return stable_; }
    bool Overload() const;
    bool Underload() const;
    bool CenterOfZero() const;

    // Operator actions; an error code when refused.
    TCommandResult SetZero();
    void ResetZero() { systemZero_ = 0; }
    TCommandResult SetTare();
    void ResetTare()
    {
        tare_ = 0;
        tareSet_ = false;
    }
    void TareAt(double grossKg)
    {
        tare_ = grossKg;
        tareSet_ = true;
    }

    // Calibration (the caller checks Calibrate Enable).
    TCommandResult CalibrateZero();
    TCommandResult CalibrateGain(std::int32_t displayValue);
    std::int32_t ZeroCounts() const { return calZero_; }
    void SetZeroCounts(std::int32_t counts) { calZero_ = counts; }

    // Linearisation points in display units; X 0 and Y 0 leave a point unused.
    std::int32_t LinX(int point) const { return linX_[static_cast<std::size_t>(point)]; }
    std::int32_t LinY(int point) const { return linY_[static_cast<std::size_t>(point)]; }
    void SetLinX(int point, std::int32_t v) { linX_[static_cast<std::size_t>(point)] = v; }
    void SetLinY(int point, std::int32_t v) { linY_[static_cast<std::size_t>(point)] = v; }
    void ClearLinearisation()
    {
        linX_.fill(0);
        linY_.fill(0);
    }

private:
    double Calibrated() const;  // kg from the filtered counts, before the system zero
    double Linearised(double kg) const;
    double Round(double kg) const;
    void TrackZero(double dt);

    const TModuleParams& params_;
    double load_;
    bool motion_ = false;
    std::mt19937 random_;
    std::normal_distribution<double> noise_{0.0, 0.08 * CountsPerKg};
    double filtered_ = 0;  // counts
    std::int32_t rawCounts_ = 0;
    std::int32_t calZero_ = DeadCounts;
    double gain_ = 1.0 / CountsPerKg;  // kg per count
    double systemZero_ = 0;            // kg
    double tare_ = 0;
    bool tareSet_ = false;
    std::array<std::int32_t, LinPoints> linX_{};
    std::array<std::int32_t, LinPoints> linY_{};

    double time_ = 0;
    std::deque<std::pair<double, double>> history_;  // (time, unrounded gross) over the no-motion time
    std::deque<double> recentNet_;
    bool stable_ = false;
    double zeroTrackSince_ = -1;
};

}  // namespace sim
