#include "PtyBaud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim {

namespace {

// The termios constant of a rate that has one; BOTHER for the others. A rate
// with its own constant is set as such, since programs that know only those
// constants (Wine's serial layer among them) refuse a port set to BOTHER.
tcflag_t SpeedCode(long baud)
{
    static constexpr struct {
        long baud;
        tcflag_t code;
    } codes[] = {{9600, B9600},     {19200, B19200},   {38400, B38400},    {57600, B57600},
                 {115200, B115200}, {500000, B500000}, {1500000, B1500000}};
    for (const auto& c : codes)
        if (c.baud == baud) return c.code;
    return BOTHER;
}

}  // namespace

bool SetPtyBaud(int fd, long baud)
{
    struct termios2 t {};
    if (baud <= 0 || ioctl(fd, TCGETS2, &t) != 0) return false;
    const tcflag_t code = SpeedCode(baud);
    t.c_cflag = (t.c_cflag & ~(CBAUD | (CBAUD << IBSHIFT))) | code;
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &t) == 0;
}

long PtyBaud(int fd)
{
    struct termios2 t {};
    return ioctl(fd, TCGETS2, &t) == 0 ? static_cast<long>(t.c_ospeed) : 0;
}

}  // namespace sim
