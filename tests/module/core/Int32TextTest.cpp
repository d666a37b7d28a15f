// Decimal text to the signed 32-bit value the module's commands carry.
#include "module/core/Int32Text.h"

#include <gtest/gtest.h>

TEST(Int32Text, AcceptsSignedDecimalWithinRange)
{
    EXPECT_EQ(ParseInt32("0"), 0);
    EXPECT_EQ(ParseInt32("+17"), 17);
    EXPECT_EQ(ParseInt32("  -5\t"), -5);
    EXPECT_EQ(ParseInt32("2147483647"), INT32_MAX);
    EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseInt32("000000000000000000042"), 42);
    for (const char* bad : {"", " ", "-", "+", "abc", "?", "1 2", "1.5", "--1", "+-1", "0x1F", "$1F", "2147483648",
                            "-2147483649", "99999999999999999999999"})
        EXPECT_FALSE(ParseInt32(bad)) << bad;
}

TEST(Int32Text, AppendsLeastSignificantByteFirst)
{
    TByteString command{0x26, 0x81};
    AppendInt32(command, 100);
    EXPECT_EQ(command, (TByteString{0x26, 0x81, 0x64, 0x00, 0x00, 0x00}));
    TByteString negative;
    AppendInt32(negative, INT32_MIN);
    EXPECT_EQ(negative, (TByteString{0x00, 0x00, 0x00, 0x80}));
}
