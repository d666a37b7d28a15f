// The command codes of the parameter pages, by page position (0 Standard,
// 1 Trigger, 2 Filling, 3 Mass flow). Trigger, Filling and Mass flow read
// and write with one code, bit 7 of the Index marking the write; Standard
// reads with 12 and writes with 1F.
#pragma once

#include <array>
#include <cstdint>

namespace sheetcmd {

inline constexpr std::array<std::uint8_t, 4> ReadCodes{0x12, 0x26, 0x06, 0x2A};
inline constexpr std::uint8_t WriteBit = 0x80;

// The read code of page `sheet`, or 0 for a position without one.
constexpr std::uint8_t ReadCode(int sheet)
{
    return sheet >= 0 && sheet < static_cast<int>(ReadCodes.size()) ? ReadCodes[static_cast<std::size_t>(sheet)] : 0;
}

constexpr bool WritesWithIndexBit(std::uint8_t code) { return code == 0x06 || code == 0x26 || code == 0x2A; }

}  // namespace sheetcmd
