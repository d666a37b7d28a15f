#include "PtyBaud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim {

bool SetPtyBaud(int fd, long baud)
{
    struct termios2 t {};
    if (baud <= 0 || ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag = (t.c_cflag & ~(CBAUD | (CBAUD << IBSHIFT))) | BOTHER | (BOTHER << IBSHIFT);
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
