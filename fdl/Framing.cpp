#include "Framing.h"

#include <algorithm>

namespace fdl {

namespace {

bool CanStart(std::uint8_t b) { return b == SD1 || b == SD2 || b == SD3 || b == SD4 || b == SC; }

// From `from` on, the first byte that can start a telegram (`count`: none).
std::size_t NextStart(const std::uint8_t* b, std::size_t count, std::size_t from)
{
    for (std::size_t p = from; p < count; ++p)
        if (CanStart(b[p])) return p;
    return count;
}

TCut Noise(const std::uint8_t* b, std::size_t count) { return {TCutKind::Noise, NextStart(b, count, 1), TFault::None}; }

// A telegram of `length` bytes whose check sum covers `sumCount` bytes from `sumFrom`.
TCut Judge(const std::uint8_t* b, std::size_t length, std::size_t sumFrom, std::size_t sumCount)
{
    if (!SumMatches(b + sumFrom, sumCount)) return {TCutKind::Corrupt, length, TFault::CheckSum};
    if (b[length - 1] != ED) return {TCutKind::Corrupt, length, TFault::EndByte};
    return {TCutKind::Complete, length, TFault::None};
}

// LE tells the length from the second byte on; LEr, the third, must equal
// it, and the fourth byte must be 68 again.
TCut CutSd2(const std::uint8_t* b, std::size_t count)
{
    if (count < 2) return {};
    // A body holds at least DA, SA and FC.
    if (b[1] < 3 || b[1] > MaxLe) return Noise(b, count);
    std::size_t le = b[1];
    if (count >= 3) le = std::min<std::size_t>(le, b[2]);
    if (le < 3 || (count >= SD2HeadLength && b[3] != SD2)) return Noise(b, count);
    const std::size_t length = le + 6;
    if (count < length) return {TCutKind::Incomplete, length, TFault::None};
    if (b[1] != b[2]) return {TCutKind::Corrupt, length, TFault::Length};
    return Judge(b, length, SD2HeadLength, le);
}

// The token: two plain station addresses, no check sum, no end byte.
TCut CutSd4(const std::uint8_t* b, std::size_t count)
{
    for (std::size_t i = 1; i < std::min(count, SD4Length); ++i)
        if (b[i] & ExtensionBit) return Noise(b, count);
    if (count < SD4Length) return {TCutKind::Incomplete, SD4Length, TFault::None};
    return {TCutKind::Complete, SD4Length, TFault::None};
}

}  // namespace

std::uint8_t Sum8(const std::uint8_t* bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum);
}

bool SumMatches(const std::uint8_t* bytes, std::size_t count) { return Sum8(bytes, count) == bytes[count]; }

Duration LineTime(std::size_t chars, int baud)
{
    const auto bits = static_cast<std::int64_t>(chars) * BitsPerChar;
    return Duration((bits * 1000000 + baud - 1) / std::max(baud, 1));
}

Duration SlotTime(std::size_t requestLength, std::size_t answerLength, int baud, Duration allowance)
{
    const Duration tsdr((std::int64_t{MinTsdrBits} * 1000000 + baud - 1) / std::max(baud, 1));
    return LineTime(requestLength, baud) + tsdr + LineTime(answerLength, baud) + allowance;
}

TCut Cut(const std::uint8_t* b, std::size_t count)
{
    if (count == 0) return {};
    switch (b[0]) {
    case SC: return {TCutKind::Complete, 1, TFault::None};
    case SD1:
        if (count < SD1Length) return {TCutKind::Incomplete, SD1Length, TFault::None};
        return Judge(b, SD1Length, 1, 3);
    case SD2: return CutSd2(b, count);
    case SD3:
        if (count < SD3Length) return {TCutKind::Incomplete, SD3Length, TFault::None};
        return Judge(b, SD3Length, 1, 3 + SD3DataLength);
    case SD4: return CutSd4(b, count);
    default: return Noise(b, count);
    }
}

TCut Expire(const std::uint8_t* b, std::size_t count)
{
    return {TCutKind::Corrupt, NextStart(b, count, 1), TFault::Timeout};
}

const char* FaultText(TFault fault)
{
    switch (fault) {
    case TFault::CheckSum: return "wrong check sum";
    case TFault::Length: return "length bytes differ";
    case TFault::EndByte: return "wrong end byte";
    case TFault::Timeout: return "not complete within its time on the line";
    case TFault::Parity: return "a character with a parity error";
    default: return "";
    }
}

std::optional<TFrame> Parse(const TByteString& bytes)
{
    const TCut cut = Cut(bytes.data(), bytes.size());
    if (cut.kind != TCutKind::Complete || cut.length != bytes.size()) return std::nullopt;
    TFrame frame;
    frame.start = bytes[0];
    if (frame.start == SC) return frame;
    if (frame.start == SD4) {
        frame.da = bytes[1];
        frame.sa = bytes[2];
        return frame;
    }
    const std::size_t from = frame.start == SD2 ? SD2HeadLength : 1;
    const std::size_t end = bytes.size() - 2;  // before the check sum
    frame.da = bytes[from] & 0x7F;
    frame.sa = bytes[from + 1] & 0x7F;
    frame.fc = bytes[from + 2];
    std::size_t pos = from + 3;
    if (bytes[from] & ExtensionBit) {
        if (pos >= end) return std::nullopt;
        frame.dsap = bytes[pos++];
    }
    if (bytes[from + 1] & ExtensionBit) {
        if (pos >= end) return std::nullopt;
        frame.ssap = bytes[pos++];
    }
    frame.data = bytes.Mid(pos, end - pos);
    return frame;
}

TStationType StationTypeOf(std::uint8_t fc) { return static_cast<TStationType>((fc >> 4) & 0x03); }

}  // namespace fdl
