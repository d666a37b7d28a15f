// The weighing module's command table behind the 80 function keys (no Qt).
#pragma once

#include "base/ByteString.h"

#include <cstdint>
#include <span>

// What a click on a function key makes the main window do.
enum TFnKind : std::uint8_t {
    fkNone = 0,          // "Unassigned Key"
    fkSend = 1,          // queue ClickCommand
    fkValue = 2,         // open the single-value dialog and queue ClickCommand
    fkSetpoint = 3,      // open the setpoint dialog (points 0..3)
    fkMassFlow = 4,      // open the mass flow dialog and queue ClickCommand
    fkLinearization = 5  // open the linearisation dialog (points 0..6)
};

struct TFnEntry {
    int Position;  // 0..79, row by row from the top left
    const char* Caption;
    TFnKind Kind;
    bool Used;  // enabled after construction
    TByteString ClickCommand;
    TByteString ValueCommand;
    const char* DialogCaption;  // "" when the key opens no dialog
    const char* Hint;           // '\r' marks a line break
};

// The assigned keys in position order; positions not listed stay empty.
std::span<const TFnEntry> FunctionTable();
