// Uppercase hexadecimal texts of the window: 2 digits for a byte, 4 for a
// 16-bit word, 8 for a 32-bit value (negative values in two's complement).
#pragma once

#include <cstdint>
#include <string>

namespace hextext {

inline std::string Digits(std::uint32_t value, int digits)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = hex[value & 0x0F];
    return out;
}

inline std::string Byte(std::uint8_t value) { return Digits(value, 2); }
inline std::string Word(std::uint16_t value) { return Digits(value, 4); }
inline std::string Value(std::int32_t value) { return Digits(static_cast<std::uint32_t>(value), 8); }

}  // namespace hextext
