// The bit rate of a pseudo-terminal, set and read through termios2 (BOTHER),
// so that every rate of the line is one, the ones without a termios
// constant (45450, 93750, 187500) included. A pseudo-terminal takes any
// rate this way and reports it on both of its sides; it does not pace its
// bytes by it, so the simulator does that itself. Kept apart because the
// kernel's termios2 header clashes with <termios.h>.
#pragma once

namespace sim {

// False (errno set) when the rate cannot be set.
bool SetPtyBaud(int fd, long baud);
// The output rate set on either side of a pseudo-terminal, or 0.
long PtyBaud(int fd);

}  // namespace sim
