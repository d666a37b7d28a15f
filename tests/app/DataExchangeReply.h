// Data_Exchange responses as the slave sends them, for feeding the window
// and the decoder: 68 LE LE 68 00 03 08, the data unit, check sum, 16.
#pragma once

#include "base/ByteString.h"

#include <cstdint>

namespace apptest {

inline TByteString Response(const TByteString& dataUnit)
{
    const auto le = static_cast<std::uint8_t>(dataUnit.size() + 3);
    TByteString t{0x68, le, le, 0x68, 0x00, 0x03, 0x08};
    t += dataUnit;
    std::uint8_t sum = 0;
    for (std::size_t i = 4; i < t.size(); ++i) sum = static_cast<std::uint8_t>(sum + t[i]);
    t.Append(sum);
    t.Append(0x16);
    return t;
}

// The command channel bytes followed by `modules` zero blocks.
inline TByteString ChannelResponse(std::uint8_t stat, std::uint8_t index, std::int32_t value, int modules = 1)
{
    const auto v = static_cast<std::uint32_t>(value);
    TByteString unit{0,
                     0,
                     stat,
                     index,
                     static_cast<std::uint8_t>(v >> 24),
                     static_cast<std::uint8_t>(v >> 16),
                     static_cast<std::uint8_t>(v >> 8),
                     static_cast<std::uint8_t>(v)};
    unit += TByteString::Filled(16 * static_cast<std::size_t>(modules));
    return Response(unit);
}

}  // namespace apptest
