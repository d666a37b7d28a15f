#include "PcapngBlocks.h"

namespace pcapng {

namespace {

constexpr std::uint32_t SectionHeaderType = 0x0A0D0D0A;
constexpr std::uint32_t InterfaceType = 0x00000001;
constexpr std::uint32_t EnhancedPacketType = 0x00000006;
constexpr std::uint32_t ByteOrderMagic = 0x1A2B3C4D;

constexpr std::uint16_t OptEnd = 0;
constexpr std::uint16_t OptComment = 1;
constexpr std::uint16_t OptFlags = 2;    // epb_flags
constexpr std::uint16_t OptTsResol = 9;  // if_tsresol
constexpr std::uint8_t Nanoseconds = 9;  // 10^-9 s

void Put16(Bytes& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& b, std::uint32_t v)
{
    Put16(b, static_cast<std::uint16_t>(v));
    Put16(b, static_cast<std::uint16_t>(v >> 16));
}

void PadTo4(Bytes& b)
{
    while (b.size() % 4 != 0) b.push_back(0);
}

void PutOption(Bytes& b, std::uint16_t code, const std::uint8_t* value, std::size_t size)
{
    Put16(b, code);
    Put16(b, static_cast<std::uint16_t>(size));
    b.insert(b.end(), value, value + size);
    PadTo4(b);
}

// Block type, total length, `body`, total length again.
Bytes Block(std::uint32_t type, const Bytes& body)
{
    const auto total = static_cast<std::uint32_t>(body.size() + 12);
    Bytes b;
    b.reserve(total);
    Put32(b, type);
    Put32(b, total);
    b.insert(b.end(), body.begin(), body.end());
    Put32(b, total);
    return b;
}

}  // namespace

Bytes SectionHeader()
{
    Bytes body;
    Put32(body, ByteOrderMagic);
    Put16(body, 1);  // version 1.0
    Put16(body, 0);
    Put32(body, 0xFFFFFFFF);  // section length not given
    Put32(body, 0xFFFFFFFF);
    return Block(SectionHeaderType, body);
}

Bytes InterfaceDescription()
{
    Bytes body;
    Put16(body, LinkTypeUser0);
    Put16(body, 0);
    Put32(body, 0);  // no snap length
    PutOption(body, OptTsResol, &Nanoseconds, 1);
    Put32(body, OptEnd);
    return Block(InterfaceType, body);
}

Bytes EnhancedPacket(std::uint64_t nanoseconds, Direction direction, const std::uint8_t* data, std::size_t size,
                     std::string_view comment)
{
    // A comment option holds at most 65535 bytes.
    if (comment.size() > 0xFFFF) comment = comment.substr(0, 0xFFFF);
    Bytes body;
    body.reserve(size + comment.size() + 40);
    Put32(body, 0);  // interface 0
    Put32(body, static_cast<std::uint32_t>(nanoseconds >> 32));
    Put32(body, static_cast<std::uint32_t>(nanoseconds));
    Put32(body, static_cast<std::uint32_t>(size));
    Put32(body, static_cast<std::uint32_t>(size));
    body.insert(body.end(), data, data + size);
    PadTo4(body);
    Bytes flags;
    Put32(flags, static_cast<std::uint32_t>(direction));
    PutOption(body, OptFlags, flags.data(), flags.size());
    if (!comment.empty())
        PutOption(body, OptComment, reinterpret_cast<const std::uint8_t*>(comment.data()), comment.size());
    Put32(body, OptEnd);
    return Block(EnhancedPacketType, body);
}

}  // namespace pcapng
