#include "Telegram.h"

#include "fdl/Framing.h"

namespace telegram {

using fdl::ED;
using fdl::SC;
using fdl::SD1;
using fdl::SD2;
using fdl::Sum8;

namespace {

constexpr std::uint8_t masterAddress = 0x00;
constexpr std::uint8_t sapBit = 0x80;  // address extension: SAP bytes follow FC

TByteString Header(std::size_t le)
{
    const auto l = static_cast<std::uint8_t>(le);
    return {SD2, l, l, SD2};
}

// One-module configurations still carry one module's bytes.
std::int32_t ModuleBlocks(std::int32_t moduleCount) { return moduleCount < 2 ? 1 : moduleCount; }

}  // namespace

TByteString StartSequence() { return {0xFE, 0xFF, 0x01}; }

TByteString SapRequestFrame(std::int32_t slaveAddress, std::uint16_t sapPair, const TByteString& data)
{
    TByteString frame = Header(data.size() + 5);
    const std::uint8_t fc = sapPair == sapGlobalControl ? fcSendNoAck : fcRequestData;
    frame += {static_cast<std::uint8_t>(slaveAddress + sapBit), static_cast<std::uint8_t>(masterAddress | sapBit), fc,
              static_cast<std::uint8_t>(sapPair >> 8), static_cast<std::uint8_t>(sapPair)};
    frame += data;
    return frame;
}

TByteString DataExchangeFrame(std::int32_t slaveAddress, const TByteString& data)
{
    TByteString frame = Header(data.size() + 3);
    frame += {static_cast<std::uint8_t>(slaveAddress), masterAddress, fcRequestData};
    frame += data;
    return frame;
}

TByteString FdlStatusTelegram(std::int32_t stationAddress)
{
    const std::uint8_t body[] = {static_cast<std::uint8_t>(stationAddress & 0x7F), masterAddress, fcFdlStatus};
    return {SD1, body[0], body[1], body[2], Sum8(body, 3), ED};
}

bool CompleteFrame(const TByteString& frame, TByteString& telegram)
{
    if (frame.size() < 4 || frame[0] != SD2 || frame[3] != SD2 || frame[1] != frame[2]) return false;
    TByteString out = frame.Mid(0, 4u + frame[1]);
    const std::size_t body = out.size() - 4;
    out.Append(Sum8(out.data() + 4, body));
    out.Append(ED);
    telegram = out;
    return true;
}

std::size_t AnswerLength(const TByteString& request, std::int32_t moduleCount)
{
    const std::size_t modules = static_cast<std::size_t>(ModuleBlocks(moduleCount));
    const auto frame = fdl::Parse(request);
    if (!frame || frame->start != SD2 || !frame->IsRequest() || frame->fc == fcSendNoAck) return 0;
    constexpr std::size_t envelope = 6 + 3;                // 68 LE LE 68 DA SA FC .. FCS 16
    constexpr std::size_t sapEnvelope = envelope + 2;      // with DSAP and SSAP
    if (!frame->dsap) return envelope + 8 + 16 * modules;  // Data_Exchange: 8 + 16 per module
    switch (*frame->dsap) {
    case sapSlaveDiag >> 8: return sapEnvelope + 6;
    case sapGetCfg >> 8: return sapEnvelope + 3 + 2 * modules;
    default: return 1;  // Set_Prm, Chk_Cfg: E5
    }
}

bool AllowsShortAck(const TByteString& request)
{
    const auto frame = fdl::Parse(request);
    return frame && frame->dsap && (*frame->dsap == sapSetPrm >> 8 || *frame->dsap == sapChkCfg >> 8);
}

std::int16_t Classify(const TByteString& t)
{
    const std::size_t n = t.size();
    if (n == 1) return t[0] == SC ? rcShortAck : rcNone;
    if (n == fdl::SD1Length && t[0] == SD1) return rcShortFrame;
    if (n == fdl::SD3Length && t[0] == fdl::SD3) {
        // A2 DA SA FC DSAP SSAP ...: the fixed data unit, codes as for SD2.
        if (t[1] < sapBit && t[2] < sapBit) return rcData;
        return static_cast<std::int16_t>(t[4] << 8 | t[5]);
    }
    if (n >= 6) {
        if (t[4] < sapBit && t[5] < sapBit) return rcData;
        if (n >= 9) return static_cast<std::int16_t>(t[7] << 8 | t[8]);
    }
    return rcNone;
}

TByteString SetPrmData(std::int32_t moduleCount)
{
    // Lock_Req and WD_On; watchdog 16 x 16 x 10 ms; min TSDR 55; Ident 09C5;
    // group 0; four user parameter bytes, then one per module.
    TByteString data{0x88, 0x10, 0x10, 0x37, 0x09, 0xC5, 0x00, 0x80, 0x00, 0x00, 0x41};
    for (std::int32_t i = 0; i < ModuleBlocks(moduleCount); ++i) data.Append(0x4C);
    return data;
}

TByteString ChkCfgData(std::int32_t moduleCount)
{
    // 8 output and 8 input bytes for the command channel, then per module
    // 1 output byte (20) and 16 input bytes (1F).
    TByteString data{0xC0, 0x07, 0x07};
    for (std::int32_t i = 0; i < ModuleBlocks(moduleCount); ++i) data += {0x20, 0x1F};
    return data;
}

TByteString GlobalControlData() { return {0x00, 0x00}; }

}  // namespace telegram
