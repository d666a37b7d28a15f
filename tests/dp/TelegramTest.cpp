// The telegrams the master builds, byte for byte, and how received strings
// are classified.
#include "tests/support/Hex.h"
#include "dp/Telegram.h"

#include <gtest/gtest.h>

namespace {

std::string Sent(const TByteString& frame)
{
    TByteString telegram;
    EXPECT_TRUE(telegram::CompleteFrame(frame, telegram));
    return HexDump(telegram);
}

struct StartUpCase {
    int address;
    int modules;
    const char* slaveDiag;
    const char* setPrm;
    const char* chkCfg;
    const char* globalControl;
    const char* dataExchange;
    const char* fdlStatus;
    const char* getCfg;
};

const StartUpCase startUpCases[] = {
    {3, 1, "68 05 05 68 83 80 6D 3C 3E EA 16", "68 11 11 68 83 80 6D 3D 3E 88 10 10 37 09 C5 00 80 00 00 41 4C A5 16",
     "68 0A 0A 68 83 80 6D 3E 3E C0 07 07 20 1F F9 16", "68 07 07 68 83 80 46 3A 3E 00 00 C1 16",
     "68 0C 0C 68 03 00 6D 00 00 00 00 00 00 00 00 00 70 16", "10 03 00 49 4C 16", "68 05 05 68 83 80 6D 3B 3E E9 16"},
    {0, 3, "68 05 05 68 80 80 6D 3C 3E E7 16",
     "68 13 13 68 80 80 6D 3D 3E 88 10 10 37 09 C5 00 80 00 00 41 4C 4C 4C 3A 16",
     "68 0E 0E 68 80 80 6D 3E 3E C0 07 07 20 1F 20 1F 20 1F 74 16", "68 07 07 68 80 80 46 3A 3E 00 00 BE 16",
     "68 0E 0E 68 00 00 6D 00 00 00 00 00 00 00 00 00 00 00 6D 16", "10 00 00 49 49 16",
     "68 05 05 68 80 80 6D 3B 3E E6 16"},
    {125, 8, "68 05 05 68 FD 80 6D 3C 3E 64 16",
     "68 18 18 68 FD 80 6D 3D 3E 88 10 10 37 09 C5 00 80 00 00 41 4C 4C 4C 4C 4C 4C 4C 4C 33 16",
     "68 18 18 68 FD 80 6D 3E 3E C0 07 07 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 2C 16",
     "68 07 07 68 FD 80 46 3A 3E 00 00 3B 16",
     "68 13 13 68 7D 00 6D 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 EA 16", "10 7D 00 49 C6 16",
     "68 05 05 68 FD 80 6D 3B 3E 63 16"},
};

}  // namespace

TEST(Telegram, StartUpRequestsAreByteExactForEachAddressAndModuleCount)
{
    using namespace telegram;
    for (const auto& c : startUpCases) {
        SCOPED_TRACE("address " + std::to_string(c.address) + ", modules " + std::to_string(c.modules));
        EXPECT_EQ(Sent(SapRequestFrame(c.address, sapSlaveDiag, {})), HexDump(BytesFromHex(c.slaveDiag)));
        EXPECT_EQ(Sent(SapRequestFrame(c.address, sapSetPrm, SetPrmData(c.modules))), HexDump(BytesFromHex(c.setPrm)));
        EXPECT_EQ(Sent(SapRequestFrame(c.address, sapChkCfg, ChkCfgData(c.modules))), HexDump(BytesFromHex(c.chkCfg)));
        EXPECT_EQ(Sent(SapRequestFrame(c.address, sapGlobalControl, GlobalControlData())),
                  HexDump(BytesFromHex(c.globalControl)));
        EXPECT_EQ(Sent(DataExchangeFrame(c.address, TByteString::Filled(8 + c.modules))),
                  HexDump(BytesFromHex(c.dataExchange)));
        EXPECT_EQ(HexDump(FdlStatusTelegram(c.address)), HexDump(BytesFromHex(c.fdlStatus)));
        EXPECT_EQ(Sent(SapRequestFrame(c.address, sapGetCfg, {})), HexDump(BytesFromHex(c.getCfg)));
    }
}

TEST(Telegram, ModuleCountsBelowTwoCarryOneModule)
{
    EXPECT_EQ(telegram::SetPrmData(0), telegram::SetPrmData(1));
    EXPECT_EQ(telegram::ChkCfgData(-3), BytesFromHex("C0 07 07 20 1F"));
}

TEST(Telegram, OnlyLowEightBitsOfTheAddressGoOnTheLine)
{
    EXPECT_EQ(Sent(telegram::DataExchangeFrame(0x103, {})), " 68 03 03 68 03 00 6D 70 16");
    EXPECT_EQ(Sent(telegram::SapRequestFrame(0x103, telegram::sapSlaveDiag, {})),
              HexDump(BytesFromHex(startUpCases[0].slaveDiag)));
}

TEST(Telegram, FrameWithBrokenHeaderIsNotCompleted)
{
    TByteString out = BytesFromHex("AA");
    for (const char* frame : {"69 03 03 68 03 00 6D", "68 03 03 69 03 00 6D", "68 03 04 68 03 00 6D", "68 03 03", ""}) {
        SCOPED_TRACE(frame);
        EXPECT_FALSE(telegram::CompleteFrame(BytesFromHex(frame), out));
        EXPECT_EQ(out, BytesFromHex("AA"));
    }
}

TEST(Telegram, CompletionTakesOnlyTheLengthBytesOfTheBody)
{
    TByteString out;
    ASSERT_TRUE(telegram::CompleteFrame(BytesFromHex("68 03 03 68 01 02 03 FF FF"), out));
    EXPECT_EQ(HexDump(out), " 68 03 03 68 01 02 03 06 16");
}

TEST(Telegram, StartSequenceIsThreeBytes) { EXPECT_EQ(telegram::StartSequence(), BytesFromHex("FE FF 01")); }

TEST(ReplyCode, ClassifiesEachKindOfTelegram)
{
    const struct {
        const char* bytes;
        std::int16_t code;
    } cases[] = {
        {"E5", rcShortAck},
        {"E4", rcNone},
        {"E5 E5", rcNone},
        {"", rcNone},
        {"10 03 00 49 4C 16", rcShortFrame},
        {"68 00 00 68 03 00", rcData},        // 6 bytes, DA and SA below 0x80
        {"10 03 00 49 4C 16 E5", rcData},     // not 6 bytes: no SD1, DA/SA rule applies
        {"68 05 05 68 83 80 6D 3C", rcNone},  // 8 bytes with SAP bit: too short for SAPs
        {"68 05 05 68 80 83 08 3E 3C 85 16", rcDiagReply},
        {"68 05 05 68 83 80 6D 3C 3E EA 16", 0x3C3E},  // the request's own order is not the reply
        {"68 05 05 68 03 83 08 3E 3C 45 16", 0x3E3C},  // only one of DA, SA marked is a SAP telegram
        {"68 05 05 68 80 03 08 33 44 45 16", 0x3344},
        {"68 0A 0A 68 00 03 08 00 00 00 00 00 00 00 0B 16", rcData},
        {"A2 80 83 08 3E 3C 02 05 00 FF 09 C5 59 16", rcDiagReply},  // SD3: as the SD2 of the same data unit
        {"A2 00 03 08 01 02 03 04 05 06 07 08 2F 16", rcData},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(telegram::Classify(BytesFromHex(c.bytes)), c.code);
    }
}
