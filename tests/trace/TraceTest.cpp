// The pcapng blocks byte by byte, and the recorder writing them through its
// writer thread: the whole file, and a full disk that stops the recording
// with a message.
#include "trace/PcapngBlocks.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "trace/TraceRecorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <future>
#include <iterator>
#include <sstream>
#include <utility>

namespace {

using pcapng::Bytes;
using pcapng::Direction;

Bytes HexBytes(const std::string& text)
{
    Bytes b;
    std::istringstream in(text);
    for (std::string pair; in >> pair;) b.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    return b;
}

const std::string sectionHeader = "0A 0D 0D 0A 1C 00 00 00 4D 3C 2B 1A 01 00 00 00 FF FF FF FF FF FF FF FF 1C 00 00 00";
// Link type 147, no snap length, if_tsresol 9 (nanoseconds).
const std::string interface =
    "01 00 00 00 20 00 00 00 93 00 00 00 00 00 00 00 09 00 01 00 09 00 00 00 00 00 00 00 20 00 00 00";
// Outbound FE FF 01 at 0x0000000100000002 ns with the comment "start sequence".
const std::string startPacket =
    "06 00 00 00 44 00 00 00 00 00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 03 00 00 00 FE FF 01 00 "
    "02 00 04 00 02 00 00 00 01 00 0E 00 73 74 61 72 74 20 73 65 71 75 65 6E 63 65 00 00 00 00 00 00 44 00 00 00";
// Inbound E5 at 7 ns, no comment.
const std::string ackPacket =
    "06 00 00 00 30 00 00 00 00 00 00 00 00 00 00 00 07 00 00 00 01 00 00 00 01 00 00 00 E5 00 00 00 "
    "02 00 04 00 01 00 00 00 00 00 00 00 30 00 00 00";

const std::uint8_t start[] = {0xFE, 0xFF, 0x01};
const std::uint8_t ack[] = {0xE5};

}  // namespace

TEST(PcapngBlocks, AreLaidOutByteByByte)
{
    EXPECT_EQ(pcapng::SectionHeader(), HexBytes(sectionHeader));
    EXPECT_EQ(pcapng::InterfaceDescription(), HexBytes(interface));
    EXPECT_EQ(pcapng::EnhancedPacket(0x0000000100000002, Direction::Outbound, start, 3, "start sequence"),
              HexBytes(startPacket));
    EXPECT_EQ(pcapng::EnhancedPacket(7, Direction::Inbound, ack, 1), HexBytes(ackPacket));
}

Bytes FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The stamps of the packets in a pcapng file, in file order.
std::vector<std::uint64_t> Stamps(const Bytes& file)
{
    const auto word = [&](std::size_t at) {
        return static_cast<std::uint32_t>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24);
    };
    std::vector<std::uint64_t> stamps;
    for (std::size_t at = 0; at + 12 <= file.size(); at += word(at + 4))
        if (word(at) == 6) stamps.push_back(std::uint64_t{word(at + 12)} << 32 | word(at + 16));
    return stamps;
}

TEST(TraceRecorder, WritesTheHeaderAndEveryTelegramInTheOrderOfItsTime)
{
    TempFolder folder;
    const std::string path = folder.str() + "/run.pcapng";
    std::atomic<std::uint64_t> ns = 0x0000000100000002;
    TTraceRecorder recorder([&] { return ns.exchange(7); });
    std::string error;
    ASSERT_TRUE(recorder.Start(path, error)) << error;
    recorder.Record(Direction::Outbound, start, 3, "start sequence");
    recorder.Record(Direction::Inbound, ack, 1);  // stamped earlier: written first
    EXPECT_EQ(recorder.Stop(), "");
    recorder.Record(Direction::Inbound, ack, 1);  // after Stop: not recorded

    EXPECT_EQ(FileBytes(path), HexBytes(sectionHeader + " " + interface + " " + ackPacket + " " + startPacket));

    EXPECT_FALSE(recorder.Start(folder.str() + "/no/such/folder.pcapng", error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

// A received telegram may reach the recorder after one written later: it
// still goes into the file before it. One later than the window is stamped
// with the time of the entry before it, so the clock never runs backwards.
TEST(TraceRecorder, StampsRunForwardInTheOrderOfTheLine)
{
    TempFolder folder;
    const std::string path = folder.str() + "/order.pcapng";
    constexpr std::uint64_t second = 1'000'000'000;
    std::atomic<std::uint64_t> now = 100 * second;
    TTraceRecorder recorder([&] { return now.load(); });
    std::string error;
    ASSERT_TRUE(recorder.Start(path, error)) << error;
    ASSERT_TRUE(WaitUntil([&] { return !FileBytes(path).empty(); }));  // the writer is idle
    recorder.Record(Direction::Outbound, start, 3, {}, 100 * second);
    recorder.Record(Direction::Inbound, ack, 1, "dropped: not complete within its time on the line", 99 * second);
    recorder.Record(Direction::Inbound, ack, 1, {}, 100 * second);  // equal stamps keep their order
    now = 110 * second;                                             // the window has passed: the writer writes them
    ASSERT_TRUE(WaitUntil([&] { return Stamps(FileBytes(path)).size() == 3; }));
    recorder.Record(Direction::Inbound, ack, 1, {}, 98 * second);  // later than the window
    EXPECT_EQ(recorder.Stop(), "");
    EXPECT_EQ(Stamps(FileBytes(path)),
              (std::vector<std::uint64_t>{99 * second, 100 * second, 100 * second, 100 * second}));
}

TEST(TraceRecorder, AFullDiskStopsTheRecordingWithAMessage)
{
    TTraceRecorder recorder;
    std::promise<std::string> reported;
    std::string error;
    ASSERT_TRUE(recorder.Start("/dev/full", error, [&](const std::string& m) { reported.set_value(m); })) << error;
    auto message = reported.get_future();
    ASSERT_EQ(message.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const std::string text = message.get();
    EXPECT_NE(text.find("/dev/full"), std::string::npos) << text;
    EXPECT_NE(text.find("No space left on device"), std::string::npos) << text;
    EXPECT_FALSE(recorder.Recording());
    recorder.Record(Direction::Inbound, ack, 1);  // harmless once stopped
    EXPECT_EQ(recorder.Stop(), text);
}
