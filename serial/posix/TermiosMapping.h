// Line settings to termios, as a pure function so the mapping can be tested
// without a device (a pseudo-terminal ignores parity and byte size).
#pragma once

#include "serial/VeltDispatch.h"

#include <termios.h>

// The termios speed constant of a standard rate, or 0 when there is none.
speed_t BaudConstant(std::uint32_t baud);

// Rates that have no constant but that the device layer sets through
// termios2 (the PROFIBUS rates 45450, 93750, 187500).
bool IsCustomBaud(std::uint32_t baud);

// Fills `t` (raw mode, CLOCAL | CREAD, VMIN 0, VTIME 0) from the control
// block; ParityCheck sets INPCK and PARMRK, so that the driver marks a
// character received with a parity or framing error (ParityMarks.h). `customBaud` is set when the rate must be applied
// through termios2 afterwards; the speed fields then hold B38400 as a placeholder. Returns 0, ecBaudRate or ecByteSize.
int ControlBlockToTermios(const TDeviceControlBlock& block, termios& t, bool& customBaud);
