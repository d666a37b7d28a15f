// Sets a bit rate that has no termios constant through termios2 / BOTHER.
// Kept apart because the kernel's termios2 header clashes with <termios.h>.
#pragma once

#include <cstdint>

// 0 on success, otherwise the errno of the failing ioctl.
int SetCustomBaud(int fd, std::uint32_t baud);
