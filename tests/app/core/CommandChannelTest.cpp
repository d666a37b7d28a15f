#include "CommandChannel.h"

#include "HexText.h"

#include <gtest/gtest.h>

namespace {

constexpr cyclic::TChannelReply NoResult{0x00, 0, 0};
constexpr cyclic::TChannelReply Taken{0x80, 0, 0};
constexpr cyclic::TChannelReply Success{0x01, 3, 42};

struct ChannelTest : ::testing::Test {
    TCommandChannel channel;
    TByteString out = TByteString::Filled(9);

    // Queues as the window does: straight out when the channel is free.
    std::optional<TCommandChannel::TPlacement> Queue(std::uint8_t unit, const TByteString& command)
    {
        if (channel.QueueCommand(unit, command)) return channel.SendNextCommand(out);
        return std::nullopt;
    }
    // A reply that frees the channel places the next command, as the window does.
    std::optional<TCommandChannel::TPlacement> Reply(const cyclic::TChannelReply& r)
    {
        if (channel.TakeReply(r, out).channelFree) return channel.SendNextCommand(out);
        return std::nullopt;
    }
};

}  // namespace

TEST_F(ChannelTest, ShortCommandCarriesItsIndexAsValue)
{
    const auto placed = Queue(0, {0x12, 0x03});
    ASSERT_TRUE(placed);
    EXPECT_EQ(HexDump(out), " 00 00 12 03 00 00 00 03 00");
    EXPECT_EQ(placed->line, "Cmd(00: 00 00 12 03 00 00 00 03 00 )");
    EXPECT_EQ(channel.SentCmd, 0x12);
    EXPECT_EQ(channel.SentIndex, 0x03);
    EXPECT_EQ(channel.SentValue, 3);
    EXPECT_EQ(hextext::Value(channel.SentValue), "00000003");
    EXPECT_TRUE(channel.Pending());
    EXPECT_TRUE(channel.QueueEmpty());
}

TEST_F(ChannelTest, ValueGoesOutBigEndian)
{
    ASSERT_TRUE(Queue(0, {0x06, 0x82, 0x64, 0x00, 0x00, 0x00}));
    EXPECT_EQ(HexDump(out.Mid(2, 6)), " 06 82 00 00 00 64");
    EXPECT_EQ(channel.SentValue, 100);

    TCommandChannel other;
    TByteString o = TByteString::Filled(9);
    other.QueueCommand(1, {0x1F, 0x02, 0xFE, 0xFF, 0xFF, 0xFF});
    other.SendNextCommand(o);
    EXPECT_EQ(other.SentValue, -2);
    EXPECT_EQ(HexDump(o.Mid(4, 4)), " FF FF FF FE");
}

TEST_F(ChannelTest, PlacingACommandWritesItsUnitIntoByteZero)
{
    out[0] = 5;  // the unit selected in the window
    const auto placed = Queue(2, {0x10});
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed->line, "Cmd(02: 02 00 10 00 00 00 00 00 00 )");
}

TEST_F(ChannelTest, OneCommandInFlightAndQueueOrderKept)
{
    ASSERT_TRUE(Queue(0, {0x10, 1}));
    EXPECT_FALSE(Queue(0, {0x10, 2}));
    EXPECT_FALSE(Queue(0, {0x10, 3}));
    EXPECT_EQ(channel.QueueSize(), 2u);

    // Result seen: Cmd cleared, nothing new yet.
    auto outcome = channel.TakeReply(Success, out);
    EXPECT_TRUE(outcome.resultPresent);
    EXPECT_TRUE(outcome.resultForPending);
    EXPECT_EQ(out[2], 0);
    EXPECT_FALSE(channel.Pending());
    // The module still holds its result: still not free.
    EXPECT_FALSE(Reply(Success));
    EXPECT_EQ(out[2], 0);
    // Taken back: the next one goes out, in order.
    auto placed = Reply(NoResult);
    ASSERT_TRUE(placed);
    EXPECT_EQ(channel.SentIndex, 2);
    channel.TakeReply(Success, out);
    ASSERT_TRUE(Reply(Taken));  // 0x80 frees exactly like 0x00
    EXPECT_EQ(channel.SentIndex, 3);
    EXPECT_TRUE(channel.QueueEmpty());
}

TEST_F(ChannelTest, NoResultWhilePlacedKeepsWaiting)
{
    ASSERT_TRUE(Queue(0, {0x10}));
    channel.QueueCommand(0, {0x11});
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(Reply(NoResult));
    EXPECT_EQ(out[2], 0x10);
    EXPECT_TRUE(channel.Pending());
}

TEST_F(ChannelTest, ResultWithoutPendingCommandIsNotForAnyone)
{
    const auto outcome = channel.TakeReply({0x03, 9, -1}, out);
    EXPECT_TRUE(outcome.resultPresent);
    EXPECT_FALSE(outcome.resultForPending);
    EXPECT_EQ(channel.ResultStat, 0x03);
    EXPECT_EQ(channel.ResultIndex, 9);
    EXPECT_EQ(channel.ResultValue, -1);
}

TEST_F(ChannelTest, StatAndIndexFollowEveryReplyButValueOnlyResults)
{
    channel.TakeReply({0x01, 4, 77}, out);
    channel.TakeReply({0x80, 6, 99}, out);
    EXPECT_EQ(channel.ResultStat, 0x80);
    EXPECT_EQ(channel.ResultIndex, 6);
    EXPECT_EQ(channel.ResultValue, 77);
}

TEST_F(ChannelTest, GivingUpFreesTheChannelThroughTheHandshake)
{
    ASSERT_TRUE(Queue(0, {0x10}));
    channel.QueueCommand(0, {0x11});
    EXPECT_TRUE(channel.GiveUp(out));
    EXPECT_FALSE(channel.Pending());
    EXPECT_EQ(out[2], 0);
    EXPECT_FALSE(channel.GiveUp(out));
    // The next command waits for a reply that shows the channel empty.
    ASSERT_TRUE(Reply(NoResult));
    EXPECT_EQ(channel.SentCmd, 0x11);
}

TEST_F(ChannelTest, PendingCommandIsGivenUpWhenTheLinkComesBack)
{
    EXPECT_FALSE(channel.NoteMasterState(1));
    ASSERT_TRUE(Queue(0, {0x10}));  // placed before the first connection
    EXPECT_FALSE(channel.NoteMasterState(0));
    EXPECT_FALSE(channel.NoteMasterState(5));  // first connection: it goes out now
    EXPECT_FALSE(channel.NoteMasterState(5));
    EXPECT_FALSE(channel.NoteMasterState(0));  // link lost while pending
    EXPECT_FALSE(channel.NoteMasterState(2));
    EXPECT_TRUE(channel.NoteMasterState(5));  // back: its result is not coming
}

TEST_F(ChannelTest, CommandPlacedWhileDisconnectedSurvivesTheReconnect)
{
    channel.NoteMasterState(5);
    channel.NoteMasterState(1);  // stopped
    ASSERT_TRUE(Queue(0, {0x10}));
    channel.NoteMasterState(0);
    EXPECT_FALSE(channel.NoteMasterState(5));
}

TEST_F(ChannelTest, AnsweredCommandIsNeverGivenUpAtReconnect)
{
    channel.NoteMasterState(5);
    ASSERT_TRUE(Queue(0, {0x10}));
    channel.NoteMasterState(0);
    channel.TakeReply(Success, out);
    EXPECT_FALSE(channel.NoteMasterState(5));
}

TEST_F(ChannelTest, CommandQueuedRightAfterAResultWaitsForTheEmptyChannel)
{
    // The module acts on a Cmd byte that turns non-zero: the same command
    // again must not follow the first without a Cmd 0 on the line, or the
    // module would hand back its held, previous result.
    ASSERT_TRUE(Queue(0, {0x0E}));
    channel.TakeReply(Success, out);
    EXPECT_EQ(out[2], 0);
    EXPECT_FALSE(Queue(0, {0x0E}));
    EXPECT_EQ(out[2], 0);
    EXPECT_FALSE(channel.SendNextCommand(out));
    ASSERT_TRUE(Reply(NoResult));
    EXPECT_EQ(out[2], 0x0E);

    // Likewise after a command was given up.
    channel.GiveUp(out);
    EXPECT_FALSE(Queue(0, {0x0F}));
    ASSERT_TRUE(Reply(Taken));
    EXPECT_EQ(out[2], 0x0F);
}
