#include "core/CyclicData.h"

#include "tests/app/DataExchangeReply.h"

#include <gtest/gtest.h>

using apptest::Response;

TEST(CyclicData, ChannelNeedsSeventeenBytes)
{
    TByteString channel{0, 0, 0x01, 0x07, 0xFF, 0xFF, 0xFF, 0xFE};
    const TByteString t = Response(channel);
    ASSERT_EQ(t.size(), 17u);
    const auto reply = cyclic::ReadChannel(t);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Stat, 0x01);
    EXPECT_EQ(reply->Index, 0x07);
    EXPECT_EQ(reply->Value, -2);
    EXPECT_TRUE(reply->HasResult());
    EXPECT_FALSE(cyclic::ReadChannel(t.Mid(0, 16)));
}

TEST(CyclicData, StatZeroAndEightyCarryNoResult)
{
    EXPECT_FALSE((cyclic::TChannelReply{0x00, 1, 5}.HasResult()));
    EXPECT_FALSE((cyclic::TChannelReply{0x80, 1, 5}.HasResult()));
    EXPECT_TRUE((cyclic::TChannelReply{0x41, 1, 5}.HasResult()));
    EXPECT_TRUE((cyclic::TChannelReply{0x81, 1, 5}.HasResult()));
}

TEST(CyclicData, ModuleBlockIsDecodedInThePageFormats)
{
    TByteString unit = TByteString::Filled(8);
    unit += TByteString{0x44, 0x7A, 0x00, 0x00,  // gross 1000.0
                        0xBF, 0x80, 0x00, 0x00,  // net -1.0
                        0x12, 0x34,              // qualifier
                        0x5A,                    // limit status
                        0x01, 0x02,              // status bytes
                        0xAB, 0x0C, 0xD0};       // manufacturer bytes
    const TByteString t = Response(unit);
    ASSERT_TRUE(cyclic::HasModuleBlock(t, 0));
    const auto v = cyclic::DecodeModuleBlock(t, 0);
    EXPECT_FLOAT_EQ(v.Gross, 1000.0f);
    EXPECT_FLOAT_EQ(v.Net, -1.0f);
    EXPECT_EQ(v.Qualifier, "1234");
    EXPECT_EQ(v.LimitStatus, "5A");
    EXPECT_EQ(v.StatusBytes, "02 01");
    EXPECT_EQ(v.ManufacturerBytes, "AB 0C D0");
}

TEST(CyclicData, BlockCountsOnlyWithCheckByteAndEndDelimiterBehindIt)
{
    const TByteString t = Response(TByteString::Filled(8 + 16));  // one module, 33 bytes
    EXPECT_TRUE(cyclic::HasModuleBlock(t, 0));
    EXPECT_FALSE(cyclic::HasModuleBlock(t, 1));
    EXPECT_FALSE(cyclic::HasModuleBlock(t.Mid(0, 32), 0));
    EXPECT_TRUE(cyclic::HasModuleBlock(Response(TByteString::Filled(8 + 16 * 8)), 7));
}
