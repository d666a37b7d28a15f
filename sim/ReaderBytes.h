// What the master's program reads for the bytes that come off the line, as
// a serial driver with the program's input modes would deliver them: the
// simulator does that part of the driver's work itself.
//
// Found on Linux 6.18 (n_tty, a pseudo-terminal written on its master side):
//   - Once the reader sets PARMRK (ISTRIP clear), n_tty doubles every 0xFF
//     the simulator writes, INPCK or not: 10 FF 00 41 arrives as
//     10 FF FF 00 41, which the reader decodes back to 10 FF 00 41.
//   - A pseudo-terminal has no parity: every byte reaches n_tty as a normal
//     character, INPCK alone changes nothing, and the simulator cannot make
//     n_tty mark one. FF 00 58 written arrives as FF FF 00 58: the data
//     FF 00 58, not "58 with a parity error".
//   - With EXTPROC among the local modes n_tty takes its raw path: nothing
//     is doubled, bytes arrive as written. The master side may set it
//     (tcsetattr on the master descriptor sets the device side's modes), and
//     cfmakeraw keeps it, so the program's own settings keep it too.
// So the line sets EXTPROC (TPtyLine), and the simulator delivers what a
// UART's driver would: 0xFF doubled when the reader asked for PARMRK, and a
// character with a parity error as n_tty's parity rule has it, FF 00 X with
// INPCK and PARMRK, 00 with INPCK alone, nothing with IGNPAR, X itself
// without INPCK. Where the reader has cleared EXTPROC, n_tty does the
// doubling and the bytes go as they are (a bad character then goes as X).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// The reader's input modes that decide what it gets.
struct TReaderModes {
    bool asWritten = true;  // EXTPROC: n_tty passes the bytes on as written
    bool mark = false;      // PARMRK
    bool check = false;     // INPCK
    bool ignore = false;    // IGNPAR
    bool strip = false;     // ISTRIP
};

// The modes the program has set on the pseudo-terminal whose master side is
// `fd` (all clear when they cannot be read).
TReaderModes ReaderModes(int fd);

// The bytes to write for `bytes` off the line, of which those at the
// positions in `bad` (ascending) came with a parity error.
std::vector<std::uint8_t> ForReader(const std::vector<std::uint8_t>& bytes, const std::vector<std::size_t>& bad,
                                    const TReaderModes& modes);

}  // namespace sim
