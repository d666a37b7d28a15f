// Sets a bit rate that has no termios constant through termios2 / BOTHER.
// Kept apart because the kernel's termios2 header clashes with <termios.h>.
#pragma once

#include <cstdint>

// The termios fields besides the rate, copied from a <termios.h> termios.
struct TLineFlags {
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0;
    std::uint32_t lflag = 0;
    std::uint8_t line = 0;
    std::uint8_t cc[32] = {};
};

// Writes the flags and the rate in one call (no intermediate rate on the
// line); afterOutput waits until the device has sent what it holds.
// 0 on success, otherwise the errno of the failing ioctl.
int SetLineWithCustomBaud(int fd, const TLineFlags& flags, std::uint32_t baud, bool afterOutput);
