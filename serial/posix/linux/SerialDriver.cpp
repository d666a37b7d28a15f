#include "SerialDriver.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

bool IsUartPlaceholder(int fd)
{
    serial_struct serial{};
    return ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN;
}

bool ReadLineErrorCounts(int fd, TLineErrorCounts& counts)
{
    serial_icounter_struct now{};
    if (ioctl(fd, TIOCGICOUNT, &now) != 0) return false;
    counts = {now.buf_overrun, now.overrun, now.parity, now.frame, now.brk};
    return true;
}
