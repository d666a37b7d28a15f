#include "sim/CommandChannel.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

using namespace sim;
using namespace simtest;

namespace {

struct TChannelUnderTest {
    TChannelUnderTest()
        : channel([this](const TCommand& command, SimTime now) {
              executed.push_back(command);
              TCommandResult result = TCommandResult::Done(command.value + 1);
              result.readyAt = now + busyFor;
              return result;
          })
    {
    }
    std::string Exchange(const TByteString& outputs, Millis at = Millis(0))
    {
        const auto in = channel.Exchange(outputs, SimTime{} + at);
        return HexDump(in.data(), in.size(), true);
    }

    std::vector<TCommand> executed;
    Millis busyFor{0};
    TCommandChannel channel;
};

}  // namespace

TEST(CommandChannel, ExecutesACommandOnceAndHoldsItsResultUntilCmdReturnsToZero)
{
    TChannelUnderTest c;
    EXPECT_EQ(c.Exchange(Outputs(1)), " 00 00 00 00 00 00 00 00");
    EXPECT_EQ(c.Exchange(Outputs(2, 1, 0x1F, 0x02, 100)), " 01 00 03 02 00 00 00 65");
    EXPECT_EQ(c.Exchange(Outputs(2, 1, 0x1F, 0x02, 100)), " 01 00 03 02 00 00 00 65");
    EXPECT_EQ(c.executed.size(), 1u);
    EXPECT_EQ(c.Exchange(Outputs(2)), " 00 00 00 00 00 00 00 00");
    // The same command again after the channel was freed is a new command.
    c.Exchange(Outputs(2, 1, 0x1F, 0x02, 100));
    EXPECT_EQ(c.executed.size(), 2u);
    EXPECT_EQ(c.executed[1], (TCommand{1, 0x1F, 0x02, 100}));
}

TEST(CommandChannel, ANewCommandInPlaceOfAHeldOneIsExecuted)
{
    TChannelUnderTest c;
    c.Exchange(Outputs(1, 0, 0x12, 0x03, 3));
    EXPECT_EQ(c.Exchange(Outputs(1, 0, 0x12, 0x04, 4)), " 00 00 03 04 00 00 00 05");
    EXPECT_EQ(c.executed.size(), 2u);
}

TEST(CommandChannel, ShowsBusyUntilTheResultIsReady)
{
    TChannelUnderTest c;
    c.busyFor = Millis(200);
    EXPECT_EQ(c.Exchange(Outputs(1, 0, 0x1C, 0x04, 4), Millis(0)), " 00 00 80 04 00 00 00 00");
    EXPECT_EQ(c.Exchange(Outputs(1, 0, 0x1C, 0x04, 4), Millis(199)), " 00 00 80 04 00 00 00 00");
    EXPECT_EQ(c.Exchange(Outputs(1, 0, 0x1C, 0x04, 4), Millis(200)), " 00 00 03 04 00 00 00 05");
    EXPECT_EQ(c.executed.size(), 1u);
}

TEST(CommandChannel, IgnoresOutputsTooShortForTheChannel)
{
    TChannelUnderTest c;
    EXPECT_EQ(c.Exchange(BytesFromHex("00 00 0E 00")), " 00 00 00 00 00 00 00 00");
    EXPECT_TRUE(c.executed.empty());
}
