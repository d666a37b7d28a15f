// Byte strings written as spaced hex in tests: Hex("68 05 05 68").
#pragma once

#include "serial/ByteString.h"

#include <cstdlib>
#include <sstream>
#include <string>

inline TByteString Hex(const std::string& text)
{
    TByteString bytes;
    std::istringstream in(text);
    std::string pair;
    while (in >> pair) bytes.Append(static_cast<std::uint8_t>(std::strtoul(pair.c_str(), nullptr, 16)));
    return bytes;
}

// Readable failure messages: gtest prints the hex dump of both sides.
inline std::string HexOf(const TByteString& bytes) { return HexDump(bytes); }
