// Whether a COM port can be opened right now, found by opening it with the
// port component and closing it again.
#pragma once

bool ProbeComPort(int comNumber);
