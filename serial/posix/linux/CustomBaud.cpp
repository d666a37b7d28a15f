#include "CustomBaud.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>

int SetLineWithCustomBaud(int fd, const TLineFlags& flags, std::uint32_t baud, bool afterOutput)
{
    struct termios2 t {};
    static_assert(sizeof t.c_cc <= sizeof flags.cc);
    t.c_iflag = flags.iflag;
    t.c_oflag = flags.oflag;
    t.c_cflag = (flags.cflag & ~(CBAUD | (CBAUD << IBSHIFT))) | BOTHER | (BOTHER << IBSHIFT);
    t.c_lflag = flags.lflag;
    t.c_line = flags.line;
    std::memcpy(t.c_cc, flags.cc, sizeof t.c_cc);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return ioctl(fd, afterOutput ? TCSETSW2 : TCSETS2, &t) == 0 ? 0 : errno;
}
