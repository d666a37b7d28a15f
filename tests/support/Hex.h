// Byte strings written as hex in tests, in both directions:
// BytesFromHex("68 05 05 68") gives the bytes, HexFromBytes(bytes) gives "68 05 05 68".
#pragma once

#include "base/ByteString.h"

#include <string>
#include <string_view>

// Two hex digits a byte; spaces between bytes are optional.
inline TByteString BytesFromHex(std::string_view text)
{
    TByteString bytes;
    unsigned value = 0;
    int digits = 0;
    for (char c : text) {
        if (c == ' ') continue;
        value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        if (++digits == 2) {
            bytes.Append(static_cast<std::uint8_t>(value));
            value = 0;
            digits = 0;
        }
    }
    return bytes;
}

// Upper-case digits, one space between bytes; readable in failure messages.
inline std::string HexFromBytes(const TByteString& bytes)
{
    const std::string spaced = HexDump(bytes, true);
    return spaced.empty() ? spaced : spaced.substr(1);
}
