#include "core/WeightFormat.h"

#include <gtest/gtest.h>

#include <limits>

TEST(WeightFormat, RoundsToSixSignificantDigitsThenShowsThreeDecimals)
{
    EXPECT_EQ(FormatWeight(1234.5678), "1234.570");
    EXPECT_EQ(FormatWeight(12.3456789), "12.346");
    EXPECT_EQ(FormatWeight(1000.0), "1000.000");
    EXPECT_EQ(FormatWeight(0.0), "0.000");
    EXPECT_EQ(FormatWeight(-2.5), "-2.500");
    EXPECT_EQ(FormatWeight(999999.4), "999999.000");
    EXPECT_EQ(FormatWeight(0.0004), "0.000");
    EXPECT_EQ(FormatWeight(1234.5678, ".", 1), "1234.6") << "the module's own decimal places";
    EXPECT_EQ(FormatWeight(-0.04, ".", 1), "0.0");
    EXPECT_EQ(FormatWeight(85, ".", 0), "85");
    EXPECT_EQ(FormatWeight(-0.0004), "0.000");
}

TEST(WeightFormat, MoreThanSixDigitsBeforeThePointGoScientific)
{
    EXPECT_EQ(FormatWeight(1234567.0), "1.23457E+06");
    EXPECT_EQ(FormatWeight(999999.7), "1.00000E+06");  // rounding carries into a seventh digit
    EXPECT_EQ(FormatWeight(-3.4e38), "-3.40000E+38");
}

TEST(WeightFormat, UsesTheGivenDecimalSeparator)
{
    EXPECT_EQ(FormatWeight(1234.5678, ","), "1234,570");
    EXPECT_EQ(FormatWeight(1234567.0, ","), "1,23457E+06");
}

TEST(WeightFormat, NonFiniteValuesAreNamed)
{
    EXPECT_EQ(FormatWeight(std::numeric_limits<double>::quiet_NaN()), "NAN");
    EXPECT_EQ(FormatWeight(std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(FormatWeight(-std::numeric_limits<double>::infinity()), "-INF");
}
