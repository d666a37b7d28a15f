// The loss-in-weight (mass flow) controller. Its control word holds the
// state in bits 4 and 5 (0 Stopped, 1 Running, 3 Paused) and two options in
// bits 0 and 1 (gravimetric control, automatic refill). Running, the feeder
// discharges the scale; the trend is the flow measured from the loss in
// weight over the flow calculation time, and a PI controller moves the
// feeder output so that the trend meets the set-point. Below the refill low
// limit the hopper is refilled up to the high limit, during which the
// feeder runs on its last output. The total mass counts what was fed since
// the start from Stopped.
#pragma once

#include "CommandResult.h"
#include "ModuleParams.h"
#include "Scale.h"

#include <cstdint>
#include <deque>

namespace sim {

class TMassFlow {
public:
    enum TState : std::uint8_t { Stopped = 0, Running = 1, Paused = 3 };
    static constexpr std::int32_t Gravimetric = 0x01;
    static constexpr std::int32_t AutoRefill = 0x02;
    // The feeder delivers a little less than its nominal rate, so the
    // controller has something to do.
    static constexpr double MaterialFactor = 0.97;

    TMassFlow(const TModuleParams& params, TScale& scale) : params_(params), scale_(scale) {}

    void Step(double dt);
    TCommandResult Control(std::int32_t word);  // 29 81
    void Stop();

    std::int32_t ControlWord() const { return options_ | state_ << 4; }
    TState State() const { return state_; }
    // 29 02: bit 0 running, 1 paused, 2 refilling, 3 flow out of tolerance,
    // 4 output at maximum, 5 output at minimum, 6 gravimetric, 7 trend valid.
    std::uint32_t Status() const;
    double Flow() const { return flow_; }      // kg/h fed now
    double Trend() const { return trend_; }    // kg/h measured
    double Total() const { return total_; }    // kg fed since the start
    double Output() const { return output_; }  // feeder output, %
    bool Refilling() const { return refilling_; }
    bool FeederOn() const { return state_ == Running; }

private:
    double SetPointKgH() const { return params_.Kg(params_.massflow[massflow::SetPoint]); }
    void Measure(double dt);
    void Regulate(double dt);
    void Refill(double dt);

    const TModuleParams& params_;
    TScale& scale_;
    TState state_ = Stopped;
    std::int32_t options_ = Gravimetric | AutoRefill;
    double output_ = 0;
    double integral_ = 0;
    double flow_ = 0;
    double trend_ = 0;
    bool trendValid_ = false;
    double total_ = 0;
    bool refilling_ = false;
    double time_ = 0;
    std::deque<std::pair<double, double>> samples_;  // (time, gross kg)
};

}  // namespace sim
