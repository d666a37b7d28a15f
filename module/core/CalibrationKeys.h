// The commands of the function keys a calibration uses, taken from the
// command table by position (captions repeat in the table, positions do
// not): what each reads and how each writes a value (no Qt).
#pragma once

#include "FunctionTable.h"
#include "core/CalibrationCommands.h"
#include "base/ByteString.h"

#include <cstdint>

namespace calkeys {

const TFnEntry& Entry(TKey key);
// What a click sends: the read of the key's value, or the action of an fkSend key.
TByteString Read(TKey key);
// The read of the key's calibration value (CZ: its zero point in counts).
TByteString ReadValue(TKey key);
// The key's value command with `value`, least significant byte first (CZ:
// its click's code, where 0 zeroes at the present load).
TByteString Write(TKey key, std::int32_t value);
// LinX or LinY: the read and the write of one point.
TByteString ReadPoint(TKey key, int point);
TByteString WritePoint(TKey key, int point, std::int32_t value);

// The counter of calibration changes: the calibration values' read code (as
// CE reads) with index 1. A module that keeps no counter refuses it.
TByteString ReadCounter();

// The functions above, for the calibration flow.
TCalibrationCommands Commands();

}  // namespace calkeys
