// Reading the Data_Exchange response as the main window sees it: the command
// channel bytes and the 16-byte block of each weighing module. Offsets count
// in the received telegram string, whose data unit starts at offset 7.
// All numbers on the wire are big-endian.
#pragma once

#include "base/ByteString.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace cyclic {

constexpr std::size_t DataUnitOffset = 7;
// Header, the eight command-channel bytes, check byte and end delimiter.
constexpr std::size_t ChannelTelegramLength = DataUnitOffset + 8 + 2;
constexpr std::size_t ModuleBlockLength = 16;

// Output data unit: unit address, 0, Cmd, Index, Value (big-endian).
constexpr std::size_t OutUnit = 0;
constexpr std::size_t OutCmd = 2;
constexpr std::size_t OutIndex = 3;
constexpr std::size_t OutValue = 4;

std::int32_t ReadInt32(const std::uint8_t* bytes);
float ReadSingle(const std::uint8_t* bytes);
// The four bytes of a 32-bit value taken as an IEEE 754 single.
float SingleFromBits(std::int32_t bits);

// The command channel of an input data unit.
struct TChannelReply {
    std::uint8_t Stat = 0;
    std::uint8_t Index = 0;
    std::int32_t Value = 0;
    // Stat 0x00 and 0x80 carry no result; every other value is a finished command.
    bool HasResult() const { return Stat != 0x00 && Stat != 0x80; }
};
// Nothing when the telegram is too short to hold the channel.
std::optional<TChannelReply> ReadChannel(const TByteString& telegram);

// Module k's block is shown only when it is complete with the two bytes
// (check byte, end delimiter) behind it.
bool HasModuleBlock(const TByteString& telegram, int k);

// One module block in the page's formats, weights still as numbers.
struct TModuleValues {
    float Gross = 0;
    float Net = 0;
    std::string Qualifier;    // 4 hex digits
    std::string LimitStatus;  // 2 hex digits
    std::string StatusBytes;  // byte 12, a space, byte 11
    std::uint8_t StatusByte12 = 0;
    std::uint8_t StatusByte11 = 0;
    std::string ManufacturerBytes;  // bytes 13, 14, 15, spaced
};
// Requires HasModuleBlock(telegram, k).
TModuleValues DecodeModuleBlock(const TByteString& telegram, int k);

}  // namespace cyclic
