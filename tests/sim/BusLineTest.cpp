#include "sim/BusLine.h"
#include "sim/LineFaults.h"
#include "sim/ReaderBytes.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

using namespace sim;
using namespace std::chrono;

namespace {

const SimTime T0 = SimTime{} + seconds(100);

TUsbAdapter NoAdapter() { return TUsbAdapter(Millis(0), T0, 1); }

// Runs the line to its end, one step per thing due; each step's bytes to the master with its time.
std::vector<std::pair<SimTime, std::size_t>> Drain(TBusLine& line, std::vector<std::uint8_t>& all)
{
    std::vector<std::pair<SimTime, std::size_t>> chunks;
    while (const auto due = line.NextDue()) {
        const auto step = line.Advance(*due);
        if (!step.toMaster.empty()) chunks.emplace_back(*due, step.toMaster.size());
        all.insert(all.end(), step.toMaster.begin(), step.toMaster.end());
    }
    return chunks;
}

}  // namespace

TEST(BusLine, MasterBytesDuringAnAnswerGarbleItFromThereOnAndAreNotHeard)
{
    const TByteString answer = BuildSd2(0x00, 0x03, 0x08, std::nullopt, std::nullopt, {1, 2, 3, 4});  // 13 bytes
    struct Row {
        microseconds masterAt;  // after T0; the answer starts at 10 ms, 1 ms a character
        std::size_t masterBytes;
        bool instant;
        int firstGarbled;  // -1: no collision
        std::size_t heard;
    } rows[] = {
        {0us, 5, false, -1, 5},      // done before the answer
        {13000us, 3, false, 3, 0},   // in the middle
        {8000us, 4, false, 0, 2},    // into the answer's start
        {22500us, 1, false, 12, 0},  // half over the end byte
        {23000us, 4, false, -1, 0},  // right after the answer: too soon to be heard
        {26000us, 4, false, -1, 4},  // after 33 bit times of idle line
        {13000us, 3, true, -1, 3},   // no line time, nothing collides
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.masterAt.count());
        const auto c = row.instant ? SimClock::duration::zero() : SimClock::duration(milliseconds(1));
        TBusLine line(NoAdapter(), 7);
        line.Send(answer, T0 + (row.instant ? 13ms : 10ms), c, 3);
        const std::vector<std::uint8_t> master(row.masterBytes, 0x5A);
        std::vector<std::uint8_t> got = line.Advance(T0 + row.masterAt).toMaster;
        line.FromMaster(master.data(), master.size(), T0 + row.masterAt, c);
        const auto step = line.Advance(T0 + row.masterAt);
        std::size_t heard = 0;
        for (const auto& h : step.heard) heard += h.bytes.size();
        EXPECT_EQ(heard, row.heard);
        ASSERT_EQ(step.collisions.size(), row.firstGarbled < 0 ? 0u : 1u);
        got.insert(got.end(), step.toMaster.begin(), step.toMaster.end());
        Drain(line, got);
        ASSERT_EQ(got.size(), answer.size());
        if (row.firstGarbled < 0) continue;
        EXPECT_EQ(step.collisions[0].station, 3);
        EXPECT_EQ(step.collisions[0].first, static_cast<std::size_t>(row.firstGarbled));
        // Intact up to the collision, then every byte differs: check sum and end byte fail.
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i] == answer[i], i < static_cast<std::size_t>(row.firstGarbled)) << i;
    }
}

TEST(BusLine, AdapterHandsOverInChunksAtMostOneLatencyLateAndRepeatsWithTheSeed)
{
    const auto c = SimClock::duration(microseconds(100));  // fast enough to fill the adapter's buffer
    const TByteString answer = TByteString::Filled(200, 0x33);
    const auto run = [&](std::uint32_t seed) {
        TBusLine line(TUsbAdapter(Millis(16), T0, seed), seed);
        line.Send(answer, T0 + 5ms, c, 3);
        std::vector<std::uint8_t> all;
        const auto chunks = Drain(line, all);
        EXPECT_EQ(all.size(), answer.size());
        SimTime due = T0 + 5ms;
        std::size_t sent = 0;
        bool full = false;
        for (const auto& [at, size] : chunks) {
            EXPECT_LE(size, TUsbAdapter::ChunkBytes);
            full = full || size == TUsbAdapter::ChunkBytes;
            EXPECT_LE(at - (due + c * static_cast<long>(sent + 1)), 16ms) << "the chunk's first byte waited too long";
            sent += size;
        }
        EXPECT_TRUE(full);
        // The master's bytes reach the line with the next USB frame, within a millisecond.
        const std::uint8_t request[] = {1, 2, 3};
        const SimTime written = T0 + 300ms;
        line.FromMaster(request, 3, written, c);
        const auto reached = line.NextDue();
        EXPECT_TRUE(reached && *reached >= written && *reached <= written + TUsbAdapter::FramePeriod);
        EXPECT_EQ(line.Advance(T0 + 400ms).heard.size(), 1u);
        return chunks;
    };
    EXPECT_EQ(run(5), run(5));
    EXPECT_NE(run(5), run(6));
}

TEST(BusLine, FloodFillsTheLineAndDrownsTheMasterWithoutACollision)
{
    TBusLine line(NoAdapter(), 1);
    line.Flood(T0, T0 + 1s, 1ms);
    EXPECT_TRUE(line.Flooded(T0 + 500ms));
    const std::uint8_t request[] = {0x10, 0x03, 0x00, 0x49, 0x4C, 0x16};
    line.FromMaster(request, sizeof request, T0 + 500ms, 1ms);
    auto step = line.Advance(T0 + 2s);
    EXPECT_TRUE(step.heard.empty());
    EXPECT_TRUE(step.collisions.empty());
    EXPECT_EQ(step.toMaster.size(), 1000u);
    EXPECT_FALSE(line.NextDue()) << "the flood has ended";
    line.FromMaster(request, sizeof request, T0 + 2s, 1ms);
    step = line.Advance(T0 + 2s);
    ASSERT_EQ(step.heard.size(), 1u);
    EXPECT_EQ(step.heard[0].end, T0 + 2s + 6ms);
}

TEST(LineFaults, HeadReplacesTheAnswerAndFloodSilencesIt)
{
    std::minstd_rand random(1);
    const TByteString reply = BuildSd2(0x00, 0x03, 0x08, std::nullopt, std::nullopt, {1, 2});
    TFault head, flood, bad;
    std::string error;
    ASSERT_TRUE(ParseFault("head@2", head, error) && ParseFault("flood=15", flood, error)) << error;
    for (const char* text : {"head=1", "flood", "flood=0", "flood=3601"})
        EXPECT_FALSE(ParseFault(text, bad, error)) << text;

    EXPECT_EQ(ApplyFaults({head}, 1, reply, random).reply, reply);
    const auto headed = ApplyFaults({head}, 2, reply, random);
    EXPECT_EQ(HexDump(headed.reply), " 68 FA FA 68");
    EXPECT_TRUE(headed.send && !headed.isAnswer);
    const auto flooded = ApplyFaults({flood}, 100, reply, random);
    EXPECT_FALSE(flooded.send);
    EXPECT_EQ(flooded.floodSeconds, 15);
    ASSERT_EQ(flooded.hits.size(), 1u);
    EXPECT_EQ(flooded.hits[0].text, "fault flood for 15 s");
}

TEST(LineFaults, PauseHoldsTheHeadsStartAndParityMarksOneCharacter)
{
    std::minstd_rand random(1);
    const TByteString reply = BuildSd2(0x00, 0x03, 0x08, std::nullopt, std::nullopt, {1, 2, 3, 4});
    TFault pause, parity, bad;
    std::string error;
    ASSERT_TRUE(ParseFault("pause=25@3", pause, error) && ParseFault("parity", parity, error)) << error;
    for (const char* text : {"pause", "pause=0", "pause=1001", "parity=1"})
        EXPECT_FALSE(ParseFault(text, bad, error)) << text;
    const auto paused = ApplyFaults({pause}, 3, reply, random);
    EXPECT_EQ(paused.headPause, Millis(25));
    EXPECT_EQ(paused.reply, reply);
    EXPECT_EQ(paused.hits[0].text, "fault pause of 25 ms after the head's first two bytes");
    const auto marked = ApplyFaults({parity}, 100, reply, random);
    EXPECT_EQ(marked.reply, reply);  // its value unchanged: the check sum still holds
    EXPECT_EQ(marked.badChar, reply.size() / 2);
}

// However the adapter chunks the bytes, the bad one reaches the master's side as itself.
TEST(BusLine, ABadCharacterReachesTheMastersSideOnItsPlace)
{
    TBusLine line(TUsbAdapter(Millis(4), T0, 3), 7);
    const TByteString answer = BuildSd2(0x00, 0x03, 0x08, std::nullopt, std::nullopt, {1, 2, 3, 4});
    line.Send(answer, T0 + 1ms, SimClock::duration(milliseconds(1)), 3, 7);
    std::vector<std::uint8_t> all;
    std::vector<std::size_t> bad;
    while (const auto due = line.NextDue()) {
        const auto step = line.Advance(*due);
        for (const std::size_t b : step.bad) bad.push_back(all.size() + b);
        all.insert(all.end(), step.toMaster.begin(), step.toMaster.end());
    }
    EXPECT_EQ(all.size(), answer.size());
    EXPECT_EQ(bad, (std::vector<std::size_t>{7}));
}

TEST(ReaderBytes, DeliversWhatASerialDriverWould)
{
    const std::vector<std::uint8_t> line = {0x10, 0xFF, 0x58, 0x16};
    const std::vector<std::size_t> bad = {2};
    const struct {
        const char* what;
        TReaderModes modes;
        const char* bytes;
    } rows[] = {
        {"marked: FF doubled, the bad one as FF 00 X", {true, true, true, false, false}, " 10 FF FF FF 00 58 16"},
        {"checked, not marked: a 00 for the bad one", {true, false, true, false, false}, " 10 FF 00 16"},
        {"checked and ignored: the bad one dropped", {true, true, true, true, false}, " 10 FF FF 16"},
        {"not checked: as it came", {true, true, false, false, false}, " 10 FF FF 58 16"},
        {"stripped: no FF to double", {true, true, true, false, true}, " 10 FF FF 00 58 16"},
        {"n_tty does the driver's part", {false, true, true, false, false}, " 10 FF 58 16"},
    };
    for (const auto& row : rows) {
        const auto out = ForReader(line, bad, row.modes);
        EXPECT_EQ(HexDump(TByteString(out.data(), out.size())), row.bytes) << row.what;
    }
}
