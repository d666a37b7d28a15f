// The parameters of one weighing module: the four parameter pages
// (Standard, Trigger, Filling, Mass flow) numbered as the items of the shipped
// Quorvel.conf, and the legal calibration values. Weights are integers in
// display units: the value times 10^-DecimalPoint in kg.
#pragma once

#include "ParamTable.h"

#include <cmath>
#include <cstdint>

namespace sim {

// Standard page (read 12 n, write 1F n).
namespace standard {
enum : int {
    ZeroRange = 1,   // % of capacity that Set Zero may take away
    PowerUpZero,     // % of capacity zeroed at power-up
    OverloadLimit,   // display units
    FilterValue,     // cut-off frequency, Hz
    TareRange,       // largest tare, display units
    UnderloadLimit,  // display units (negative)
    AveragingCount,  // samples in the running average
    MeasuringTime,   // ms, triggered averaging
    FilterMode,      // 0 Gaussian IIR, 1 FIR
    NoMotionRange,   // display units
    NoMotionTime,    // ms
    ZeroTrackRange,  // display units
    ZeroTrackTime,   // ms
    StartDelay,      // ms, trigger to measurement
    TareLimit,       // smallest gross that can be tared, display units
    OutputMode,      // 0 setpoints, 1 commanded, 2 filling, 3 mass flow
    UpdateRate,      // updates per second
    ZeroTracking,    // 0 off, 1 on (calibration guarded)
    DTime,           // ms, interval of the weight-change rate
    Count = DTime
};
}

// Trigger page (26 n, write 26 80+n).
namespace trigger {
enum : int {
    Level = 1,
    Edge,
    RetrigWindow,
    RetrigTime,
    HoldTime,
    TareWindow,
    TareTime,
    RetrigStop,
    Count = RetrigStop
};
}

// Filling page (06 n, write 06 80+n).
namespace filling {
enum : int {
    Target = 1,
    CoarseCutOff,
    FineCutOff,
    UpperTolerance,
    LowerTolerance,
    EmptyLimit,
    TareDelay,
    SettlingTime,
    MaxFillTime,
    CutOffCorrection,
    Count = CutOffCorrection
};
}

// Mass flow page (2A n, write 2A 80+n).
namespace massflow {
enum : int {
    SetPoint = 1,  // display units per hour
    Tolerance,     // %
    RefillLow,     // display units
    RefillHigh,    // display units
    RefillTime,    // ms
    CalcTime,      // ms, window of the flow calculation
    Gain,          // %
    IntegralTime,  // ms
    MaxOutput,     // %
    MinOutput,     // %
    Count = MinOutput
};
}

// Calibration values (read 03 n, write 04 n).
namespace calib {
enum : int { Counter = 1, Enable = 3, Gain = 4, Max = 7, Zero = 0x0A, DecimalPoint = 0x0B, StepSize = 0x0C };
}

struct TModuleParams {
    TParamTable standard;
    TParamTable trigger;
    TParamTable filling;
    TParamTable massflow;

    // Calibration.
    bool calibrationOpen = false;
    std::int32_t calibrationCounter = 0;
    std::int32_t capacity = 15000;          // CM, display units
    std::int32_t decimalPoint = 1;          // DP, decimals shown
    std::int32_t stepSize = 1;              // DS, in the last digit
    std::int32_t calibrationValue = 10000;  // CG, the load last calibrated with

    TModuleParams();
    void ResetSetup();  // factory defaults of the four pages

    // One display unit in kg, and the display step in kg.
    double Unit() const { return std::pow(10.0, -decimalPoint); }
    double Step() const { return stepSize * Unit(); }
    double Kg(std::int32_t displayUnits) const { return displayUnits * Unit(); }
};

}  // namespace sim
