// The function keys a calibration uses, taken from the command table by
// position (captions repeat in the table, positions do not): what each
// reads and how each writes a value (no Qt).
#pragma once

#include "FunctionTable.h"
#include "base/ByteString.h"

#include <cstdint>

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

const TFnEntry& Entry(TKey key);
// What a click sends: the read of the key's value, or the action of an fkSend key.
TByteString Read(TKey key);
// The key's value command with `value`, least significant byte first.
TByteString Write(TKey key, std::int32_t value);
// LinX or LinY: the read and the write of one point.
TByteString ReadPoint(TKey key, int point);
TByteString WritePoint(TKey key, int point, std::int32_t value);

// The counter of calibration changes: the calibration values' read code (as
// CE reads) with index 1. A module that keeps no counter refuses it.
TByteString ReadCounter();

}  // namespace calkeys
