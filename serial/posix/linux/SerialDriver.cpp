#include "SerialDriver.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

bool IsUartPlaceholder(int fd)
{
    serial_struct serial{};
    return ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN;
}

bool IsPseudoTerminal(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    // Legacy masters and slaves, the multiplexer, Unix98 masters and slaves.
    return m == 2 || m == 3 || (m == 5 && minor(st.st_rdev) == 2) || (m >= 128 && m <= 143);
}

bool ReadLineErrorCounts(int fd, TLineErrorCounts& counts)
{
    serial_icounter_struct now{};
    if (ioctl(fd, TIOCGICOUNT, &now) != 0) return false;
    counts = {now.buf_overrun, now.overrun, now.parity, now.frame, now.brk};
    return true;
}
