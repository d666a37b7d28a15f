// Whether a COM port can be opened right now, found by opening it with the
// port component and closing it again.
#pragma once

// Process-wide: when true, a port that exists but cannot be opened because
// another program holds it or permission is missing counts as present.
extern bool ProbeCountsUnavailablePorts;

bool ProbeComPort(int comNumber);
