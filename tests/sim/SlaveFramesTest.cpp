#include "SimTestSupport.h"
#include "sim/SlaveFrames.h"

#include <gtest/gtest.h>
#include <random>

using namespace sim;

namespace {

std::vector<TRequest> FeedHex(TRequestParser& parser, const std::string& hex, SimTime now = SimTime{})
{
    const TByteString bytes = BytesFromHex(hex);
    return parser.Feed(bytes.data(), bytes.size(), now);
}

const char* const SlaveDiagRequest = "68 05 05 68 83 80 6D 3C 3E EA 16";
const char* const DataExchangeRequest = "68 0C 0C 68 03 00 6D 00 00 00 00 00 00 00 00 00 70 16";

}  // namespace

TEST(RequestParser, SplitsTheMastersWorkedExamplesIntoTheirFields)
{
    TRequestParser parser;
    auto requests = FeedHex(parser, "68 11 11 68 83 80 6D 3D 3E 88 10 10 37 09 C5 00 80 00 00 41 4C A5 16");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Destination(), 3);
    EXPECT_EQ(requests[0].Source(), 0);
    EXPECT_EQ(requests[0].fc, 0x6D);
    EXPECT_EQ(requests[0].dsap, 0x3D);
    EXPECT_EQ(requests[0].ssap, 0x3E);
    EXPECT_EQ(HexDump(requests[0].data), " 88 10 10 37 09 C5 00 80 00 00 41 4C");

    requests = FeedHex(parser, DataExchangeRequest);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].dsap.has_value());
    EXPECT_EQ(requests[0].data.size(), 9u);
    EXPECT_EQ(parser.SkippedBytes(), 0u);
}

TEST(RequestParser, SkipsTheStartSequenceAndNoiseAndResynchronises)
{
    TRequestParser parser;
    // Start sequence, a stray 68 whose length pair disagrees, a telegram with a
    // wrong check sum, then two good telegrams in one read.
    auto requests = FeedHex(parser, std::string("FE FF 01 68 99 ") + "68 05 05 68 83 80 6D 3C 3E EB 16 " +
                                        SlaveDiagRequest + " " + DataExchangeRequest);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].dsap, 0x3C);
    EXPECT_FALSE(requests[1].dsap.has_value());
    EXPECT_EQ(parser.SkippedBytes(), 5u + 11u);
}

TEST(RequestParser, AssemblesATelegramSplitOverReads)
{
    TRequestParser parser;
    const SimTime t0{};
    EXPECT_TRUE(FeedHex(parser, "68 0C 0C", t0).empty());
    EXPECT_TRUE(FeedHex(parser, "68 03 00 6D 00 00 00", t0 + Millis(5)).empty());
    EXPECT_EQ(parser.PartialDeadline(), t0 + Millis(35));
    EXPECT_EQ(FeedHex(parser, "00 00 00 00 00 00 70 16", t0 + Millis(10)).size(), 1u);
    EXPECT_FALSE(parser.PartialDeadline().has_value());
}

TEST(RequestParser, DropsAPartialTelegramAfterTheLineWentIdle)
{
    TRequestParser parser(Millis(30));
    const SimTime t0{};
    EXPECT_TRUE(FeedHex(parser, "68 0C 0C 68 03 00", t0).empty());
    // Without the idle rule the next request would be swallowed as the rest of it.
    const auto requests = FeedHex(parser, SlaveDiagRequest, t0 + Millis(100));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].dsap, 0x3C);
    EXPECT_EQ(parser.SkippedBytes(), 6u);
}

TEST(RequestParser, AcceptsAnSd1RequestAndRejectsAWrongEndDelimiter)
{
    TRequestParser parser;
    auto requests = FeedHex(parser, "10 03 00 49 4C 16");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].fc, 0x49);
    EXPECT_TRUE(FeedHex(parser, "68 05 05 68 83 80 6D 3C 3E EA 17").empty());
}

TEST(SlaveFrames, BuildsRepliesByteExact)
{
    EXPECT_EQ(HexDump(BuildSd1(0x00, 0x03, 0x03)), " 10 00 03 03 06 16");
    EXPECT_EQ(HexDump(BuildSd2(0x80, 0x83, 0x08, 0x3E, 0x3C, BytesFromHex("02 05 00 FF 09 C5"))),
              " 68 0B 0B 68 80 83 08 3E 3C 02 05 00 FF 09 C5 59 16");
    EXPECT_EQ(HexDump(BuildSd2(0x00, 0x7D, 0x08, std::nullopt, std::nullopt, {})), " 68 03 03 68 00 7D 08 85 16");
    EXPECT_EQ(HexDump(ShortAck()), " E5");
    // A data unit of 8 octets (the diagnosis and its two SAP bytes) as SD3; any other as it was.
    EXPECT_EQ(HexDump(AsSd3(BuildSd2(0x80, 0x83, 0x08, 0x3E, 0x3C, BytesFromHex("02 05 00 FF 09 C5")))),
              " A2 80 83 08 3E 3C 02 05 00 FF 09 C5 59 16");
    EXPECT_EQ(HexDump(AsSd3(BuildSd2(0x00, 0x7D, 0x08, std::nullopt, std::nullopt, {}))),
              " 68 03 03 68 00 7D 08 85 16");
}

TEST(RequestParser, ReadsAnSd3RequestAndPassesATokenOver)
{
    TRequestParser parser;
    // Data_Exchange with 8 output bytes as SD3, a token between two other masters, then Slave_Diag.
    auto requests =
        FeedHex(parser, std::string("A2 03 00 6D 01 02 03 04 05 06 07 08 94 16 DC 05 02 ") + SlaveDiagRequest);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Destination(), 3);
    EXPECT_EQ(requests[0].length, 14u);
    EXPECT_EQ(HexDump(requests[0].data), " 01 02 03 04 05 06 07 08");
    EXPECT_EQ(requests[1].dsap, 0x3C);
    EXPECT_EQ(requests[1].da, 0x83);  // with its extension bit, as it came
    EXPECT_EQ(parser.SkippedBytes(), 0u);
}

TEST(RequestParser, SurvivesLineNoiseAndFindsEveryTelegramAfterAnIdleLine)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 300);
    // Noise made mostly of start delimiters, the worst case for resynchronising.
    const std::uint8_t starts[] = {0x68, 0x10, 0xE5, 0x16};
    TRequestParser parser;
    SimTime now{};
    std::size_t found = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> noise(static_cast<std::size_t>(length(random)));
        for (auto& b : noise)
            b = byte(random) < 128 ? starts[byte(random) % 4] : static_cast<std::uint8_t>(byte(random));
        parser.Feed(noise.data(), noise.size(), now);
        now += Millis(100);  // the line goes idle, then a good request
        const TByteString good = BytesFromHex(DataExchangeRequest);
        const auto requests = parser.Feed(good.data(), good.size(), now);
        found += !requests.empty() && requests.back().data.size() == 9;
        now += Millis(100);
    }
    EXPECT_EQ(found, 300u);
}
