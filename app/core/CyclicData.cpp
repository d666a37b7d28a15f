#include "CyclicData.h"

#include "HexText.h"

#include <bit>

namespace cyclic {

std::int32_t ReadInt32(const std::uint8_t* b)
{
    const std::uint32_t u =
        (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
    return static_cast<std::int32_t>(u);
}

float SingleFromBits(std::int32_t bits) { return std::bit_cast<float>(bits); }

float ReadSingle(const std::uint8_t* bytes) { return SingleFromBits(ReadInt32(bytes)); }

std::optional<TChannelReply> ReadChannel(const TByteString& t)
{
    if (t.size() < ChannelTelegramLength) return std::nullopt;
    constexpr std::size_t at = DataUnitOffset;
    return TChannelReply{t[at + 2], t[at + 3], ReadInt32(t.data() + at + 4)};
}

bool HasModuleBlock(const TByteString& t, int k)
{
    return k >= 0 && t.size() >= ModuleBlockLength * static_cast<std::size_t>(k + 1) + ChannelTelegramLength;
}

TModuleValues DecodeModuleBlock(const TByteString& t, int k)
{
    const std::uint8_t* b = t.data() + DataUnitOffset + 8 + ModuleBlockLength * static_cast<std::size_t>(k);
    TModuleValues v;
    v.Gross = ReadSingle(b);
    v.Net = ReadSingle(b + 4);
    v.Qualifier = hextext::Word(static_cast<std::uint16_t>((b[8] << 8) | b[9]));
    v.LimitStatus = hextext::Byte(b[10]);
    v.StatusBytes = hextext::Byte(b[12]) + " " + hextext::Byte(b[11]);
    v.StatusByte12 = b[12];
    v.StatusByte11 = b[11];
    v.ManufacturerBytes = HexDump(b + 13, 3, true).substr(1);
    return v;
}

}  // namespace cyclic
