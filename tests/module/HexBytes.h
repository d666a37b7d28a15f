// Byte strings as "1F 0A" in test expectations.
#pragma once

#include "serial/ByteString.h"

#include <string>

inline std::string Hex(const TByteString& bytes)
{
    const std::string spaced = HexDump(bytes, true);
    return spaced.empty() ? spaced : spaced.substr(1);
}
