// The dispatcher's input and output buffers through a real pseudo-terminal:
// wrap rules, full flags, and bytes in order in both directions.
#include "DispatcherTestSupport.h"

#include <algorithm>

#include <sys/ioctl.h>

using namespace dispatchtest;

namespace {

using DispatcherBuffers = DispatcherOnPty;

TEST_F(DispatcherBuffers, TakeInputWrapsAtTheEndOfTheBuffer)
{
    // Move the tail to index 8191, then take the bytes on both sides of the end.
    const auto first = Pattern(8191, 1);
    std::thread writer([&] { WriteAll(pty.master, first.data(), first.size()); });
    EXPECT_EQ(TakeFor(*d, first.size()), first);
    writer.join();

    const std::vector<std::uint8_t> across = {0xA1, 0xB2, 0xC3};
    ASSERT_TRUE(WriteAll(pty.master, across.data(), across.size()));
    ASSERT_TRUE(WaitUntil([&] { return d->InputCount() == 3; }));
    std::uint8_t b = 0;
    EXPECT_EQ(d->PeekInput(2, b), ecOK);
    EXPECT_EQ(b, 0xB2);
    EXPECT_EQ(d->PeekInput(4, b), ecBufferIsEmpty);
    EXPECT_EQ(TakeFor(*d, 3), across);
    EXPECT_FALSE(d->HasInput());
    EXPECT_EQ(d->TakeInput(b), ecBufferIsEmpty);
}

TEST_F(DispatcherBuffers, InputFillsTheBufferExactlyAndTheRestWaitsInTheDriver)
{
    const auto bytes = Pattern(9000, 2);
    ASSERT_TRUE(WriteAll(pty.master, bytes.data(), bytes.size()));
    ASSERT_TRUE(WaitUntil([&] { return d->InputCount() == InputBufferSize; }));
    EXPECT_TRUE(d->HasInput());
    // Nothing more is taken from the driver while the buffer is full.
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_EQ(d->InputCount(), InputBufferSize);
    int inDriver = 0;
    ASSERT_EQ(ioctl(d->Descriptor(), FIONREAD, &inDriver), 0);
    // The driver marks (PARMRK): it holds each data byte FF as FF FF.
    EXPECT_EQ(inDriver, 9000 - 8192 + std::count(bytes.begin() + 8192, bytes.end(), 0xFF));
    std::uint8_t b = 0;
    EXPECT_EQ(d->PeekInput(InputBufferSize, b), ecOK);
    EXPECT_EQ(b, bytes[8191]);
    // Taking makes room, and the rest follows in order.
    EXPECT_EQ(TakeFor(*d, bytes.size()), bytes);
    EXPECT_EQ(d->InputCount(), 0u);
}

TEST_F(DispatcherBuffers, QueueBlockOfExactlyTheFreeRoomFillsTheOutputBuffer)
{
    // Let the far side stop reading until the device takes nothing more, so
    // that bytes stay in the output buffer.
    std::vector<std::uint8_t> sent;
    for (unsigned i = 0; d->OutputUsed() == 0 && i < 1000; ++i) {
        const auto block = Pattern(1000, 100 + i);
        ASSERT_EQ(d->QueueBlock(block.data(), block.size()), ecOK);
        sent.insert(sent.end(), block.begin(), block.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_GT(d->OutputUsed(), 0u);
    // A block of exactly the free room fits and one byte more is refused. The
    // pseudo-terminal can still take bytes between the steps, which only frees
    // room: a byte that fit is sent too, and the step is tried again.
    const std::uint8_t one = 1;
    bool refused = false;
    for (unsigned attempt = 0; !refused && attempt < 100; ++attempt) {
        const auto rest = Pattern(4096 - d->OutputUsed(), 7 + attempt);
        ASSERT_EQ(d->QueueBlock(rest.data(), rest.size()), ecOK);
        sent.insert(sent.end(), rest.begin(), rest.end());
        const auto code = d->QueueBlock(&one, 1);
        refused = code == ecOutputBufferTooSmall;
        if (code == ecOK) sent.push_back(one);
    }
    EXPECT_TRUE(refused);

    // The far side reads again: everything arrives once and in order, and the
    // buffer empties (the output thread rotates data that wraps).
    EXPECT_EQ(ReadFor(pty.master, sent.size()), sent);
    EXPECT_TRUE(WaitUntil([&] { return d->OutputUsed() == 0; }));
}

TEST_F(DispatcherBuffers, TakeInputBlockTakesAcrossTheEndInOrder)
{
    const auto bytes = Pattern(12000, 8);
    std::thread writer([&] { WriteAll(pty.master, bytes.data(), bytes.size()); });
    std::vector<std::uint8_t> got;
    std::uint8_t block[3000];
    ASSERT_TRUE(WaitUntil([&] {
        got.insert(got.end(), block, block + d->TakeInputBlock(block, sizeof block));
        return got.size() >= bytes.size();
    }));
    writer.join();
    EXPECT_TRUE(got == bytes);
    EXPECT_EQ(d->TakeInputBlock(block, sizeof block), 0u);
}

TEST_F(DispatcherBuffers, ABlockLargerThanTheRoomQueuesNothing)
{
    const auto big = Pattern(4097, 3);
    EXPECT_EQ(d->QueueBlock(big.data(), big.size()), ecOutputBufferTooSmall);
    EXPECT_EQ(d->QueueBlock(big.data(), 0), ecOK);
    EXPECT_EQ(d->OutputUsed(), 0u);
    EXPECT_EQ(ReadFor(pty.master, 1, 100).size(), 0u);
}

TEST_F(DispatcherBuffers, OneMegabyteEachWayArrivesInOrder)
{
    constexpr std::size_t total = 1 << 20;
    const auto in = Pattern(total, 4);
    const auto out = Pattern(total, 5);
    std::vector<std::uint8_t> farGot;
    std::thread farWriter([&] { WriteAll(pty.master, in.data(), in.size()); });
    std::thread farReader([&] { farGot = ReadFor(pty.master, total, 10000); });

    // Queue in telegram-sized pieces whenever there is room, take as it comes.
    std::size_t queued = 0;
    std::vector<std::uint8_t> got;
    got.reserve(total);
    const auto end = Clock::now() + std::chrono::seconds(20);
    while ((queued < total || got.size() < total) && Clock::now() < end) {
        bool progress = false;
        if (queued < total) {
            const std::size_t n = std::min<std::size_t>(200, total - queued);
            if (d->QueueBlock(out.data() + queued, n) == ecOK) {
                queued += n;
                progress = true;
            }
        }
        std::uint8_t b;
        while (got.size() < total && d->TakeInput(b) == ecOK) {
            got.push_back(b);
            progress = true;
        }
        if (!progress) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    farWriter.join();
    farReader.join();
    EXPECT_EQ(got.size(), total);
    EXPECT_TRUE(got == in) << "received bytes differ";
    EXPECT_EQ(farGot.size(), total);
    EXPECT_TRUE(farGot == out) << "sent bytes differ";
}

TEST_F(DispatcherBuffers, PurgesDropWaitingBytes)
{
    const auto bytes = Pattern(100, 6);
    ASSERT_TRUE(WriteAll(pty.master, bytes.data(), bytes.size()));
    ASSERT_TRUE(WaitUntil([&] { return d->InputCount() == 100; }));
    EXPECT_EQ(d->PurgeInput(), ecOK);
    EXPECT_FALSE(d->HasInput());
    EXPECT_EQ(d->InputCount(), 0u);
    // Later input is received normally.
    ASSERT_TRUE(WriteAll(pty.master, bytes.data(), 10));
    EXPECT_EQ(TakeFor(*d, 10), std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 10));
    EXPECT_EQ(d->PurgeOutput(), ecOK);
    EXPECT_EQ(d->OutputUsed(), 0u);
}

}  // namespace
