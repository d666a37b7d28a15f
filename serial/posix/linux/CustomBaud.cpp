#include "CustomBaud.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

int SetCustomBaud(int fd, std::uint32_t baud)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}
