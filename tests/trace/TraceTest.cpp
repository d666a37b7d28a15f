// The pcapng blocks byte by byte, and the recorder writing them through its
// writer thread: the whole file, and a full disk that stops the recording
// with a message.
#include "PcapngBlocks.h"
#include "TempFolder.h"
#include "TraceRecorder.h"

#include <gtest/gtest.h>

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

TEST(TraceRecorder, WritesTheHeaderAndEveryTelegramInOrder)
{
    TempFolder folder;
    const std::string path = folder.str() + "/run.pcapng";
    std::uint64_t ns = 0x0000000100000002;
    TTraceRecorder recorder([&] { return std::exchange(ns, 7); });
    std::string error;
    ASSERT_TRUE(recorder.Start(path, error)) << error;
    recorder.Record(Direction::Outbound, start, 3, "start sequence");
    recorder.Record(Direction::Inbound, ack, 1);
    EXPECT_EQ(recorder.Stop(), "");
    recorder.Record(Direction::Inbound, ack, 1);  // after Stop: not recorded

    std::ifstream in(path, std::ios::binary);
    const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(file, HexBytes(sectionHeader + " " + interface + " " + startPacket + " " + ackPacket));

    EXPECT_FALSE(recorder.Start(folder.str() + "/no/such/folder.pcapng", error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
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
