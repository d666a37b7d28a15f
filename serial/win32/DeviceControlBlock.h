// The dispatcher's control block and the system's DCB, field by field (the
// two share their meaning and numbering).
#pragma once

#include "serial/VeltDispatch.h"

#include <windows.h>

namespace win32dcb {

TDeviceControlBlock ToBlock(const DCB& dcb);

// Writes `block` into `dcb`, keeping the fields it has no word on. ecByteSize
// or ecDefault for values the system does not know.
[[nodiscard]] int FromBlock(const TDeviceControlBlock& block, DCB& dcb);

}  // namespace win32dcb
