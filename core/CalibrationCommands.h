// The function keys a calibration uses and the commands they send. The keys
// are positions in the module's command table; the table itself lies above
// this layer, so whoever runs a calibration hands the flow these commands
// ready built (no Qt).
#pragma once

#include "base/ByteString.h"

#include <cstdint>
#include <functional>
#include <string>

namespace calkeys {

// Positions of the keys in the function-key grid.
enum TKey : int {
    CE = 0,   // Calibrate Enable: 1 opens the calibration values, 0 closes them
    CZ = 1,   // Calibrate Zero at the present load
    CG = 2,   // Calibrate Gain: the present load is this value
    CM = 3,   // Calibrate Max
    DS = 4,   // display step size, in the last digit
    DP = 5,   // decimal point: digits after it
    CS = 9,   // save the calibration values
    NT = 15,  // no-motion time, ms
    LinX = 33,
    LinY = 34,
    ClrLin = 35,
    ID = 36,  // device ID
    IV = 37,  // software version
};

constexpr int LinPoints = 7;  // the linearisation dialog's points 0..6

// What judges the weight at rest: decimal point, display step, no-motion time.
constexpr TKey RestKeys[] = {DP, DS, NT};

}  // namespace calkeys

// What each key is called and sends.
struct TCalibrationCommands {
    std::function<std::string(calkeys::TKey)> name;  // its caption, "CG"
    // What a click sends: the read of the key's value, or its action (CZ, CS).
    std::function<TByteString(calkeys::TKey)> read;
    // The read of a calibration value, also of a key whose click acts (CZ
    // zeroes; its value is the zero point in the module's counts).
    std::function<TByteString(calkeys::TKey)> readValue;
    std::function<TByteString(calkeys::TKey, std::int32_t value)> write;
    // LinX or LinY of one point.
    std::function<TByteString(calkeys::TKey, int point, std::int32_t value)> writePoint;
    // The counter of saved calibrations; a module that keeps none refuses it.
    std::function<TByteString()> readCounter;
};
