// Port names and whole numbers read from text.
#include "base/ComName.h"
#include "base/IntegerText.h"

#include <gtest/gtest.h>

TEST(ComName, ReadsOnlyPortsOneTo255)
{
    const std::pair<const char*, std::optional<int>> rows[] = {
        {"COM1", 1},
        {"COM255", 255},
        {"COM2", 2},
        {"COM256", std::nullopt},
        {"COM0", std::nullopt},
        {"COM65538", std::nullopt},
        {"COM007", std::nullopt},
        {"COM-1", std::nullopt},
        {"COM", std::nullopt},
        {"COM 7", std::nullopt},
        {"com7", std::nullopt},
        {"COM7x", std::nullopt},
    };
    for (const auto& [name, number] : rows) EXPECT_EQ(ParseComName(name), number) << name;
    EXPECT_EQ(ComName(42), "COM42");
}

TEST(IntegerText, TakesWholeDecimalNumbersInRangeOnly)
{
    EXPECT_EQ(ParseInteger("-12", -12, 0), -12);
    EXPECT_EQ(ParseInteger("0", 0, 0), 0);
    for (const char* bad : {"", " 1", "1 ", "+1", "0x1", "1.0", "99999999999999999999", "13"})
        EXPECT_FALSE(ParseInteger(bad, -20, 12)) << bad;
}
