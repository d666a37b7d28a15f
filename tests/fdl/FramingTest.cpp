// The FDL cutter: rows of received bytes in, what stands at their front
// out; then a complete telegram taken apart, and the line's timing.
#include "tests/support/Hex.h"
#include "fdl/Framing.h"

#include <gtest/gtest.h>

namespace {

using fdl::TCutKind;
using fdl::TFault;

struct Row {
    const char* what;
    const char* bytes;
    TCutKind kind;
    std::size_t length;
    TFault fault = TFault::None;
};

const Row rows[] = {
    {"nothing yet", "", TCutKind::Incomplete, 0},
    {"short acknowledgement", "E5 E5", TCutKind::Complete, 1},
    {"fixed length telegram", "10 83 80 49 4C 16 68", TCutKind::Complete, 6},
    {"fixed length telegram, part", "10 83 80", TCutKind::Incomplete, 6},
    {"fixed length, wrong check sum", "10 83 80 49 4D 16", TCutKind::Corrupt, 6, TFault::CheckSum},
    {"fixed length, wrong end byte", "10 83 80 49 4C 17", TCutKind::Corrupt, 6, TFault::EndByte},
    {"variable telegram and the next head", "68 03 03 68 00 03 08 0B 16 68 03 03", TCutKind::Complete, 9},
    {"variable telegram without its end byte", "68 05 05 68 80 83 08 3E 3C 85", TCutKind::Incomplete, 11},
    {"head alone: LE tells the length", "68 05 05", TCutKind::Incomplete, 11},
    {"SD2 start alone", "68", TCutKind::Incomplete, 0},
    {"SD2 length from the second byte on", "68 8B", TCutKind::Incomplete, 145},
    {"LEr equal: the same length", "68 8B 8B", TCutKind::Incomplete, 145},
    {"LEr differs: the shorter", "68 8B 05", TCutKind::Incomplete, 11},
    {"LE too long for any telegram: noise at once", "68 FA", TCutKind::Noise, 2},
    {"LE too short for DA SA FC: noise at once", "68 02", TCutKind::Noise, 2},
    {"variable, wrong check sum", "68 03 03 68 00 03 08 0C 16", TCutKind::Corrupt, 9, TFault::CheckSum},
    {"variable, wrong end byte", "68 03 03 68 00 03 08 0B 99", TCutKind::Corrupt, 9, TFault::EndByte},
    {"length bytes differ: the shorter spans it", "68 03 04 68 00 03 08 0B 16 E5", TCutKind::Corrupt, 9,
     TFault::Length},
    {"noise up to the next possible start", "5A 07 31 16 68 03 03 68", TCutKind::Noise, 4},
    {"noise to the end", "FF 00 7F", TCutKind::Noise, 3},
    {"head whose fourth byte is not 68", "68 03 03 67 00 03 08 0B 16", TCutKind::Noise, 9},
    {"stray head too long for any telegram", "68 FA FA 68 68 03 03 68", TCutKind::Noise, 3},
    {"head too short for DA SA FC", "68 02 02 68 00 03 05 16", TCutKind::Noise, 3},
    {"SD3: a data unit of 8 octets", "A2 80 83 08 3E 3C 02 05 00 FF 09 C5 59 16 E5", TCutKind::Complete, 14},
    {"SD3, part", "A2 80 83", TCutKind::Incomplete, 14},
    {"SD3, wrong check sum", "A2 80 83 08 3E 3C 02 05 00 FF 09 C5 58 16", TCutKind::Corrupt, 14, TFault::CheckSum},
    {"SD3, wrong end byte", "A2 80 83 08 3E 3C 02 05 00 FF 09 C5 59 10", TCutKind::Corrupt, 14, TFault::EndByte},
    {"SD4: the token", "DC 05 02 68 03", TCutKind::Complete, 3},
    {"SD4, part", "DC 05", TCutKind::Incomplete, 3},
    {"SD4 with an extension bit is no token", "DC 85 02", TCutKind::Noise, 3},
    {"noise up to an SD3", "31 A2 80", TCutKind::Noise, 1},
    {"noise up to an SD4", "07 7F DC 05 02", TCutKind::Noise, 2},
};

TEST(Framing, CutsWhatStandsAtTheFront)
{
    for (const Row& row : rows) {
        const TByteString b = BytesFromHex(row.bytes);
        const fdl::TCut cut = fdl::Cut(b.data(), b.size());
        EXPECT_EQ(cut.kind, row.kind) << row.what;
        EXPECT_EQ(cut.length, row.length) << row.what;
        EXPECT_EQ(cut.fault, row.fault) << row.what;
    }
    // A telegram out of its time is dropped up to the next byte that can start one.
    const TByteString stale = BytesFromHex("68 20 20 68 01 02 68 03 03 68 00 03 08 0B 16");
    const fdl::TCut expired = fdl::Expire(stale.data(), stale.size());
    EXPECT_EQ(expired.kind, TCutKind::Corrupt);
    EXPECT_EQ(expired.fault, TFault::Timeout);
    EXPECT_EQ(expired.length, 3u);
}

TEST(Framing, TakesACompleteTelegramApart)
{
    const auto status = fdl::Parse(BytesFromHex("10 00 07 30 37 16"));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->sa, 7);
    EXPECT_FALSE(status->IsRequest());
    EXPECT_EQ(fdl::StationTypeOf(status->fc), fdl::TStationType::MasterInRing);

    const auto cfg = fdl::Parse(BytesFromHex("68 07 07 68 80 87 08 3E 3B C0 07 4F 16"));
    ASSERT_TRUE(cfg);
    EXPECT_EQ(cfg->da, 0);
    EXPECT_EQ(cfg->sa, 7);
    EXPECT_EQ(cfg->dsap, 0x3E);
    EXPECT_EQ(cfg->ssap, 0x3B);
    EXPECT_EQ(HexFromBytes(cfg->data), "C0 07");

    const auto sd3 = fdl::Parse(BytesFromHex("A2 80 83 08 3E 3C 02 05 00 FF 09 C5 59 16"));
    ASSERT_TRUE(sd3);
    EXPECT_TRUE(sd3->HasDataUnit());
    EXPECT_EQ(sd3->sa, 3);
    EXPECT_EQ(sd3->ssap, 0x3C);
    EXPECT_EQ(HexFromBytes(sd3->data), "02 05 00 FF 09 C5");

    const auto token = fdl::Parse(BytesFromHex("DC 05 02"));
    ASSERT_TRUE(token);
    EXPECT_TRUE(token->IsToken());
    EXPECT_EQ(token->da, 5);
    EXPECT_EQ(token->sa, 2);
    EXPECT_FALSE(token->IsRequest());

    EXPECT_FALSE(fdl::Parse(BytesFromHex("68 03 03 68 00 03 08 0B 16 E5")));  // more than one telegram
    EXPECT_FALSE(fdl::Parse(BytesFromHex("68 03 03 68 80 03 08 8B 16")));     // SAP byte announced, missing
}

TEST(Framing, LineTimesFollowTheBaud)
{
    // 8 modules at 19200 baud: a 25-byte request, a 145-byte answer.
    EXPECT_EQ(fdl::LineTime(145, 19200).count(), 83073);
    EXPECT_EQ(fdl::SlotTime(25, 145, 19200, std::chrono::milliseconds(20)).count(), 14323 + 2865 + 83073 + 20000);
}

}  // namespace
