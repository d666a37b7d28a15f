// The dispatcher's control block and the system's DCB, field by field (the
// two share their meaning and numbering).
#pragma once

#include "serial/VeltDispatch.h"

#include <windows.h>

namespace win32dcb {

// With the parity check on, the driver puts this character in place of one
// received with a parity error (fErrorChar), so a read can tell which byte
// ClearCommError's CE_RXPARITY meant.
constexpr char ErrorChar = '\xFE';

TDeviceControlBlock ToBlock(const DCB& dcb);

// Writes `block` into `dcb`, keeping the fields it has no word on. ecByteSize
// or ecDefault for values the system does not know.
[[nodiscard]] int FromBlock(const TDeviceControlBlock& block, DCB& dcb);

}  // namespace win32dcb
