// Helpers for the simulator's tests: the master's worked-example requests,
// and parsing one request out of its bytes.
#pragma once

#include "Hex.h"
#include "SlaveFrames.h"
#include "base/ByteString.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace simtest {

// A Data_Exchange request of the master (station 0) to `address`.
inline TByteString DataExchange(std::uint8_t address, const TByteString& outputs)
{
    return sim::BuildSd2(address, 0x00, 0x6D, std::nullopt, std::nullopt, outputs);
}

// A SAP request of the master (station 0) to `address`.
inline TByteString SapRequest(std::uint8_t address, std::uint8_t fc, std::uint8_t dsap, const TByteString& data)
{
    return sim::BuildSd2(0x80 | address, 0x80, fc, dsap, 0x3E, data);
}

inline TByteString SetPrm(std::uint8_t address, int modules, std::uint16_t ident = 0x09C5)
{
    TByteString prm{
        0x88, 0x10, 0x10, 0x37, static_cast<std::uint8_t>(ident >> 8), static_cast<std::uint8_t>(ident), 0x00,
        0x80, 0x00, 0x00, 0x41};
    for (int i = 0; i < (modules < 2 ? 1 : modules); ++i) prm.Append(0x4C);
    return SapRequest(address, 0x6D, 61, prm);
}

inline TByteString ChkCfg(std::uint8_t address, int modules)
{
    TByteString cfg{0xC0, 0x07, 0x07};
    for (int i = 0; i < (modules < 2 ? 1 : modules); ++i) cfg += TByteString{0x20, 0x1F};
    return SapRequest(address, 0x6D, 62, cfg);
}

inline TByteString SlaveDiag(std::uint8_t address) { return SapRequest(address, 0x6D, 60, {}); }
inline TByteString GlobalControl(std::uint8_t address) { return SapRequest(address, 0x46, 58, {0x00, 0x00}); }

// Output data with a command in the channel: Unit 0 Cmd Index Value(BE), then per-module zeros.
inline TByteString Outputs(int modules, std::uint8_t unit = 0, std::uint8_t cmd = 0, std::uint8_t index = 0,
                           std::int32_t value = 0)
{
    const auto v = static_cast<std::uint32_t>(value);
    TByteString out{unit,
                    0,
                    cmd,
                    index,
                    static_cast<std::uint8_t>(v >> 24),
                    static_cast<std::uint8_t>(v >> 16),
                    static_cast<std::uint8_t>(v >> 8),
                    static_cast<std::uint8_t>(v)};
    out += TByteString::Filled(static_cast<std::size_t>(modules));
    return out;
}

// The request that `telegram` holds (the test's input is always one whole telegram).
inline sim::TRequest Parse(const TByteString& telegram)
{
    sim::TRequestParser parser;
    auto requests = parser.Feed(telegram.data(), telegram.size(), sim::SimTime{});
    if (requests.size() != 1) throw std::runtime_error("not one telegram: " + HexDump(telegram));
    return requests.front();
}

inline std::int32_t BigEndian32(const std::uint8_t* b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
                                     static_cast<std::uint32_t>(b[2]) << 8 | b[3]);
}

inline float FloatFromBits(std::int32_t bits)
{
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace simtest
