#include "StationReply.h"

#include "serial/TelegramCut.h"

namespace telegram {

namespace {

constexpr std::uint8_t extensionBit = 0x80;
constexpr std::size_t headerLength = 4;  // 68 LE LE 68

// DA SA FC and the SAP extension of a body of `length` bytes. False when a
// SAP byte is announced but missing.
bool SplitBody(const std::uint8_t* body, std::size_t length, TReplyFrame& frame)
{
    frame.da = body[0] & 0x7F;
    frame.sa = body[1] & 0x7F;
    frame.fc = body[2];
    std::size_t pos = 3;
    if (body[0] & extensionBit) {
        if (pos >= length) return false;
        frame.dsap = body[pos++];
    }
    if (body[1] & extensionBit) {
        if (pos >= length) return false;
        frame.ssap = body[pos++];
    }
    frame.data = TByteString(body + pos, length - pos);
    return true;
}

TReplyCut Skip() { return {TReplyCut::Skip, 1, {}}; }

}  // namespace

TReplyCut CutReply(const std::uint8_t* b, std::size_t count)
{
    if (count == 0) return {};
    TReplyCut cut;
    cut.frame.start = b[0];
    if (b[0] == SC) {
        cut.kind = TReplyCut::Frame;
        cut.length = 1;
        return cut;
    }
    if (b[0] == SD1) {
        if (count < SD1Length) return {};
        if (!SumMatches(b + 1, 3) || b[5] != ED || !SplitBody(b + 1, 3, cut.frame)) return Skip();
        cut.kind = TReplyCut::Frame;
        cut.length = SD1Length;
        return cut;
    }
    if (b[0] != SD2) return Skip();
    if (count < headerLength) return {};
    const std::size_t le = b[1];
    if (b[2] != le || b[3] != SD2 || le < 3) return Skip();
    if (count < le + 6) return {};
    if (!SumMatches(b + headerLength, le) || b[5 + le] != ED || !SplitBody(b + headerLength, le, cut.frame))
        return Skip();
    cut.kind = TReplyCut::Frame;
    cut.length = le + 6;
    return cut;
}

std::optional<TReplyFrame> FirstReply(const TByteString& received)
{
    const TReplyCut cut = CutReply(received.data(), received.size());
    if (cut.kind != TReplyCut::Frame) return std::nullopt;
    return cut.frame;
}

TStationType StationTypeOf(std::uint8_t fc) { return static_cast<TStationType>((fc >> 4) & 0x03); }

}  // namespace telegram
