// Linux serial-driver queries that termios does not cover: whether a ttyS
// line has a UART behind it, and the driver's running line-error counts.
#pragma once

// The driver's line-error counts since the device appeared.
struct TLineErrorCounts {
    int bufferOverrun = 0;
    int overrun = 0;
    int parity = 0;
    int frame = 0;
    int breaks = 0;
};

// True for a serial-core placeholder: a ttyS line that opens but has no UART
// (its type is unknown), so every transfer on it would fail.
bool IsUartPlaceholder(int fd);

// False when the device keeps no counts (a pseudo-terminal does not).
bool ReadLineErrorCounts(int fd, TLineErrorCounts& counts);
