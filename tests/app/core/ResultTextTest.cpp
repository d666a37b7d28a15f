// The texts of command results: the module's error codes and hex values.
#include "ResultText.h"

#include <gtest/gtest.h>

using namespace resulttext;

TEST(ResultText, EveryNamedErrorCodeHasItsText)
{
    const char* expected[] = {
        "** NOT_IMPLEMENTED **",   "** NOT_READY **",
        "** ERR_BAUD **",          "** CAL_NOT_OPEN **",
        "** BAD_CAL_ID **",        "** BAD_CAL_VALUE **",
        "** TIMEOUT **",           "** NOT_STABLE **",
        "** BAD_FILL_PARAM_ID **", "** BAD_FILL_PARAM_VALUE **",
        "** BAD_GEN_VALUE_ID **",  "** BAD_GEN_PARAM_VALUE **",
        "** BAD_TRIG_PARAM_ID **", "** BAD_TRIG_PARAM_VALUE **",
        "** BAD_TARE_RANGE **",    "** BAD_FILL_SLOPE **",
        "** BAD_FLOW_VALUE_ID **", "** BAD_FLOW_PARAM_VALUE **",
    };
    for (int code = 1; code <= 18; ++code) EXPECT_EQ(ErrorText(code), expected[code - 1]) << code;
}

TEST(ResultText, UnnamedCodesShowTheirNumber)
{
    EXPECT_EQ(ErrorText(0), "** ?ERROR? (0) **");
    EXPECT_EQ(ErrorText(19), "** ?ERROR? (19) **");
    EXPECT_EQ(ErrorText(20), "** ?ERROR? (20) **");
    EXPECT_EQ(ErrorText(63), "** ?ERROR? (63) **");
    EXPECT_EQ(ErrorText(-1), "** ?ERROR? (-1) **");  // never from a Stat, but no out-of-range access
}

TEST(ResultText, StatCarriesSuccessOrTheErrorCodeInItsLowSixBits)
{
    EXPECT_TRUE(IsSuccess(0x01));
    EXPECT_TRUE(IsSuccess(0x03));
    for (std::uint8_t stat : {0x02, 0x41, 0x81, 0x83, 0x43}) EXPECT_FALSE(IsSuccess(stat)) << int(stat);
    EXPECT_EQ(ErrorCode(0x41), 1);
    EXPECT_EQ(ErrorCode(0x54), 20);
    EXPECT_EQ(ErrorCode(0xC4), 4);
    EXPECT_EQ(ErrorCode(0x7F), 63);
}

TEST(ResultText, HexHasAtLeastTheAskedDigits)
{
    EXPECT_EQ(Hex(0x1F, 2), "1F");
    EXPECT_EQ(Hex(0x05, 2), "05");
    EXPECT_EQ(Hex(0, 2), "00");
    EXPECT_EQ(Hex(0x135, 2), "135");
    EXPECT_EQ(Hex(-1, 2), "FFFFFFFF");
    EXPECT_EQ(Hex(100, 8), "00000064");
    EXPECT_EQ(Hex(INT32_MIN, 8), "80000000");
}
