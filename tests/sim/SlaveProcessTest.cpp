// The real quorvel-slave process on its pseudo-terminal, driven with raw DP
// frames through the COM link it registers.
#include "tests/support/ChildProcess.h"
#include "SimTestSupport.h"
#include "tests/support/SlaveCounts.h"
#include "tests/support/TempFolder.h"
#include "fdl/Framing.h"
#include "tests/support/WaitUntil.h"
#include "serial/PortDirectory.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace simtest;
using namespace std::chrono_literals;

namespace {

struct SlaveProcess : ChildProcess {
    explicit SlaveProcess(const std::vector<std::string>& args) : ChildProcess(QUORVEL_SLAVE_EXE, args) {}
};

// The program's end of the line: the COM link opened raw.
class ComPort {
public:
    explicit ComPort(const std::string& path)
    {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) throw std::runtime_error("cannot open " + path);
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
        tcflush(fd_, TCIOFLUSH);
    }
    ~ComPort() { close(fd_); }
    ComPort(const ComPort&) = delete;
    ComPort& operator=(const ComPort&) = delete;

    // Writes a request and collects the reply: `expected` bytes (waiting up to
    // 2 s, as a loaded machine can be slow to run the slave), or without an
    // expected length what came in 150 ms.
    TByteString Transact(const TByteString& request, std::size_t expected = 0)
    {
        std::this_thread::sleep_for(2ms);  // the idle line a request needs after the last answer
        if (write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
            throw std::runtime_error("write failed");
        TByteString reply;
        const auto end = std::chrono::steady_clock::now() + (expected ? 2000ms : 150ms);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || (expected && reply.size() >= expected)) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            std::uint8_t buffer[1024];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            reply.Append(buffer, static_cast<std::size_t>(n));
        }
        return reply;
    }

private:
    int fd_ = -1;
};

class SlaveProcessTest : public ::testing::Test {
protected:
    TempFolder folder;
    ScopedEnv portDir{"QUORVEL_PORT_DIR", folder.str() + "/ports"};

    std::string Link(int com) const { return portdir::LinkPath(com); }
};

// Data_Exchange reply: header 7 bytes, then the inputs.
float GrossOf(const TByteString& reply, int module)
{
    return FloatFromBits(BigEndian32(reply.data() + 7 + 8 + 16 * module));
}

}  // namespace

TEST_F(SlaveProcessTest, ServesStartUpAndDataExchangeOnItsComLinkAndCleansUp)
{
    SlaveProcess slave({"--addr", "5", "--modules", "3", "--com", "7"});
    const std::string banner = slave.WaitForOutput("stop with Ctrl+C");
    ASSERT_NE(banner.find("COM7 registered: " + Link(7) + " -> /dev/pts/"), std::string::npos) << banner;
    ASSERT_TRUE(std::filesystem::is_symlink(Link(7)));

    {
        ComPort port(Link(7));
        EXPECT_EQ(HexDump(port.Transact(SlaveDiag(5), 17)), " 68 0B 0B 68 80 85 08 3E 3C 02 05 00 FF 09 C5 5B 16");
        EXPECT_EQ(HexDump(port.Transact(SetPrm(5, 3), 1)), " E5");
    }
    // The program closes and reopens the port between start-up steps: the
    // line must stay up and the station keeps its state.
    ComPort port(Link(7));
    EXPECT_EQ(HexDump(port.Transact(ChkCfg(5, 3), 1)), " E5");
    EXPECT_EQ(port.Transact(GlobalControl(5)).size(), 0u);

    const auto start = std::chrono::steady_clock::now();
    const TByteString reply = port.Transact(DataExchange(5, Outputs(3)), 8 + 48 + 9);
    const auto latency = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(reply.size(), 8u + 48u + 9u) << HexDump(reply);
    // Paced as at 19200 baud: the request's 20 and the answer's 65 characters
    // of 11 bits, and the min TSDR of 55 bit times from Set_Prm.
    EXPECT_GE(latency, std::chrono::microseconds((85 * 11 + 55) * 1000000LL / 19200));
    EXPECT_LT(latency, 1000ms) << "pacing adds no long waits";
    EXPECT_NEAR(GrossOf(reply, 0), 60.0, 1.0);
    EXPECT_NEAR(GrossOf(reply, 2), 110.0, 1.0);

    // Gross weight of module 2 through the command channel: Stat 0x01 and the value.
    port.Transact(DataExchange(5, Outputs(3, 2, 0x0E)), 65);
    const TByteString result = port.Transact(DataExchange(5, Outputs(3, 2, 0x0E)), 65);
    ASSERT_EQ(result.size(), 65u);
    EXPECT_EQ(result[7 + 2], 0x01);
    EXPECT_NEAR(FloatFromBits(BigEndian32(result.data() + 11)), 110.0, 1.0);

    std::this_thread::sleep_for(500ms);  // idle: the simulator must sleep in poll()
    EXPECT_EQ(slave.Stop(SIGTERM), 0);
    EXPECT_LT(slave.CpuTime().count(), 0.3);
    EXPECT_NE(slave.Output().find("data exchange"), std::string::npos) << slave.Output();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Link(7))));
}

TEST_F(SlaveProcessTest, AMasterTalkingOverAnAnswerGetsItGarbledAndTheCollisionIsPrintedAndCounted)
{
    const std::string stats = folder.str() + "/stats.json";
    SlaveProcess slave({"--com", "5", "--modules", "8", "--quiet", "--stats", stats});
    slave.WaitForOutput("stop with Ctrl+C");
    ComPort port(Link(5));
    port.Transact(SetPrm(3, 8), 1);
    port.Transact(ChkCfg(3, 8), 1);
    // The 145-byte answer takes 83 ms on the line: a request sent as soon as
    // its first byte is in goes out while the station is still answering.
    const TByteString first = port.Transact(DataExchange(3, Outputs(8)), 1);
    const TByteString answer = first + port.Transact(DataExchange(3, Outputs(8)), 145 - first.size());
    ASSERT_EQ(answer.size(), 145u) << "the garbled answer still takes its time on the line";
    EXPECT_NE(answer[144], 0x16) << HexDump(answer);
    EXPECT_NE(slave.WaitForOutput(" UTC collision: ").find("station 3 answered; its 145-byte answer is garbled"),
              std::string::npos);
    // The request sent over the answer was not heard; the next one is answered cleanly.
    const TByteString clean = port.Transact(DataExchange(3, Outputs(8)), 145);
    ASSERT_EQ(clean.size(), 145u);
    EXPECT_EQ(clean[144], 0x16);

    const std::string counts =
        R"({"requests": 4, "answers": 4, "collisions": 1, "sync": 0, "tap_written": 0, "plant_requests": 0, )"
        R"("plant_exchanges": 0, "faults": {"fcs": 0, "length": 0, )"
        R"("noise": 0, "sd1noise": 0, "split": 0, "late": 0, "drop": 0, "silence": 0, )"
        R"("flood": 0, "head": 0, "pause": 0, "parity": 0}})"
        "\n";
    const auto read = [&] {
        std::ifstream in(stats);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(read(),
              R"({"requests": 0, "answers": 0, "collisions": 0, "sync": 0, "tap_written": 0, "plant_requests": 0, )"
              R"("plant_exchanges": 0, "faults": {"fcs": 0, "length": 0, )"
              R"("noise": 0, "sd1noise": 0, "split": 0, "late": 0, "drop": 0, "silence": 0, )"
              R"("flood": 0, "head": 0, "pause": 0, "parity": 0}})"
              "\n")
        << "written at start";
    slave.Signal(SIGUSR1);
    EXPECT_TRUE(WaitUntil([&] { return read() == counts; })) << read();
    EXPECT_EQ(slave.Stop(), 0);
    EXPECT_EQ(read(), counts);
    EXPECT_FALSE(std::filesystem::exists(stats + ".tmp"));
}

TEST_F(SlaveProcessTest, CarriesTheCommandHandshakeWithBusyAndRefusals)
{
    SlaveProcess slave({"--com", "3", "--modules", "2", "--quiet"});
    slave.WaitForOutput("stop with Ctrl+C");
    ComPort port(Link(3));
    port.Transact(SetPrm(3, 2), 1);
    port.Transact(ChkCfg(3, 2), 1);
    // Stat, Index and Value of the channel in a Data_Exchange reply.
    const auto channel = [&](const TByteString& outputs) {
        const TByteString reply = port.Transact(DataExchange(3, outputs), 8 + 32 + 9);
        return reply.size() == 49 ? HexDump(reply.Mid(9, 6)) : "short reply" + HexDump(reply);
    };
    EXPECT_EQ(channel(Outputs(2, 1, 0x04, 0x04, 1000)), " 44 04 00 00 00 00");  // CG without CE
    EXPECT_EQ(channel(Outputs(2, 1, 0x04, 0x04, 1000)), " 44 04 00 00 00 00");  // held
    EXPECT_EQ(channel(Outputs(2)), " 00 00 00 00 00 00");
    EXPECT_EQ(channel(Outputs(2, 0, 0x1C, 0x04, 4)), " 80 04 00 00 00 00");  // saving takes a moment
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(channel(Outputs(2, 0, 0x1C, 0x04, 4)), " 03 04 00 00 00 04");
    EXPECT_EQ(channel(Outputs(2)), " 00 00 00 00 00 00");
    EXPECT_EQ(channel(Outputs(2, 5, 0x0E)), " 47 00 00 00 00 00");  // no module 5 behind the station
    EXPECT_EQ(slave.Stop(), 0);
}

TEST_F(SlaveProcessTest, StopsOnInterruptAndFallsBackWhenTheMasterFallsSilent)
{
    SlaveProcess slave({"--com", "4", "--quiet"});
    slave.WaitForOutput("stop with Ctrl+C");
    ComPort port(Link(4));
    port.Transact(SetPrm(3, 1), 1);
    port.Transact(ChkCfg(3, 1), 1);
    EXPECT_EQ(port.Transact(DataExchange(3, Outputs(1)), 33).size(), 33u);
    std::this_thread::sleep_for(2700ms);  // longer than the 2560 ms watchdog
    EXPECT_EQ(HexDump(port.Transact(DataExchange(3, Outputs(1)), 6)), " 10 00 03 03 06 16");
    EXPECT_EQ(slave.Stop(SIGINT), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Link(4))));
}

TEST_F(SlaveProcessTest, RefusesBadOptionsWithAClearMessage)
{
    for (const auto& args : std::vector<std::vector<std::string>>{{"--modules", "9"},
                                                                  {"--addr", "127"},
                                                                  {"--com", "0"},
                                                                  {"--modules"},
                                                                  {"--speed", "3"},
                                                                  {"--fault", "hum"},
                                                                  {"--fault", "silence"},
                                                                  {"--fault", "fcs=2"},
                                                                  {"--fault", "drop@0"},
                                                                  {"--fault"},
                                                                  {"--station", "3"},
                                                                  {"--station", "3:9"},
                                                                  {"--station", "127:1"},
                                                                  {"--station", "3:1", "--station", "3:2"},
                                                                  {"--station", "3:1", "--modules", "2"},
                                                                  {"--adapter-latency", "256"},
                                                                  {"--stats"},
                                                                  {"--fault", "head=1"},
                                                                  {"--load", "0"},
                                                                  {"--load", "1:5"},
                                                                  {"--load", "0:heavy"},
                                                                  {"--control"}}) {
        SlaveProcess slave(args);
        EXPECT_EQ(slave.Wait(), 2) << args[0];
        const std::string error = slave.Errors();
        EXPECT_NE(error.find("quorvel-slave: "), std::string::npos) << error;
        EXPECT_NE(error.find("Usage:"), std::string::npos) << error;
    }
    SlaveProcess unwritable({"--stats", folder.str() + "/missing/stats.json"});
    EXPECT_EQ(unwritable.Wait(), 2);
    EXPECT_NE(unwritable.Errors().find("cannot write the statistics"), std::string::npos) << unwritable.Errors();
    SlaveProcess help({"--help"});
    EXPECT_EQ(help.Wait(), 0);
    EXPECT_NE(help.Output().find("--modules N"), std::string::npos);
}

TEST_F(SlaveProcessTest, TakesLoadsAndMotionFromItsControlPipeAndRefusesBadLines)
{
    const std::string pipe = folder.str() + "/scale";
    SlaveProcess slave({"--com", "6", "--quiet", "--instant", "--load", "0:50", "--control", pipe});
    slave.WaitForOutput("stop with Ctrl+C");
    ComPort port(Link(6));
    port.Transact(SetPrm(3, 1), 1);
    port.Transact(ChkCfg(3, 1), 1);
    const auto block = [&]() { return port.Transact(DataExchange(3, Outputs(1)), 33); };
    EXPECT_TRUE(WaitUntil([&]() { return std::abs(GrossOf(block(), 0) - 50.0) < 0.5; }));

    std::ofstream(pipe) << "load 0 20\nbogus\nload 4 1\n" << std::string(300, 'x') << "\nmotion 0 on\n";
    slave.WaitForOutput("motion on");
    EXPECT_TRUE(WaitUntil([&]() { return slave.Errors().find("longer than") != std::string::npos; }));
    EXPECT_NE(slave.Output().find("control: unit 0 of station 3: load 20 kg"), std::string::npos) << slave.Output();
    const std::string errors = slave.Errors();
    EXPECT_NE(errors.find("control line 'bogus' refused: expected"), std::string::npos) << errors;
    EXPECT_NE(errors.find("'load 4 1' refused: no station has a module at unit 4"), std::string::npos) << errors;
    EXPECT_NE(errors.find("...' refused: longer than 200"), std::string::npos) << errors;
    // Shaking: the stable bit (status byte 11 of the block, bit 0) stays off.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(block()[7 + 8 + 11] & 0x01, 0) << i;
    std::ofstream(pipe) << "motion 0 off\n";
    EXPECT_TRUE(WaitUntil([&]() { return (block()[7 + 8 + 11] & 0x01) && std::abs(GrossOf(block(), 0) - 20) < 0.5; }));
    EXPECT_EQ(slave.Stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(pipe)) << "the pipe it made goes with it";

    std::ofstream(pipe) << "a plain file";
    SlaveProcess refused({"--com", "6", "--control", pipe});
    EXPECT_EQ(refused.Wait(), 2);
    EXPECT_NE(refused.Errors().find("is not a named pipe"), std::string::npos) << refused.Errors();
}

TEST_F(SlaveProcessTest, LeavesATakenComNumberAloneUnlessToldToReplaceIt)
{
    std::string message;
    ASSERT_TRUE(portdir::Ensure(message)) << message;
    std::filesystem::create_symlink("/dev/null", Link(2));
    {
        SlaveProcess slave({});
        EXPECT_EQ(slave.Wait(), 2);
        EXPECT_NE(slave.Errors().find("COM2 is already registered for /dev/null"), std::string::npos);
        EXPECT_EQ(std::filesystem::read_symlink(Link(2)), "/dev/null");
    }
    SlaveProcess slave({"--replace"});
    slave.WaitForOutput("stop with Ctrl+C");
    EXPECT_NE(std::filesystem::read_symlink(Link(2)).string().find("/dev/pts/"), std::string::npos);
    EXPECT_EQ(slave.Stop(), 0);
    // A dangling link from a crashed run is simply replaced.
    std::filesystem::create_symlink("/dev/pts/does-not-exist", Link(2));
    SlaveProcess again({"--quiet"});
    EXPECT_NE(again.WaitForOutput("stop with Ctrl+C").find("COM2 registered"), std::string::npos);
}

TEST_F(SlaveProcessTest, ATapHearsTwoPlantMastersStartUpPollAndPassTheTokenAndItsBytesCollide)
{
    const std::string stats = folder.str() + "/stats.json";
    SlaveProcess slave({"--plant", "--plant-masters", "2", "--station", "5:2", "--station", "6:1", "--com", "6",
                        "--tap", "8", "--quiet", "--stats", stats});
    slave.WaitForOutput("on the line at 19200 baud");
    ComPort tap(Link(8));
    std::vector<std::uint8_t> heard;
    for (int i = 0; i < 20 && heard.size() < 2000; ++i) {
        const TByteString read = tap.Transact({}, 0);
        heard.insert(heard.end(), read.data(), read.data() + read.size());
    }
    // What a tap of the line reads, cut into telegrams: who sent what, in order.
    std::vector<std::string> seen;
    for (std::size_t at = 0; at < heard.size();) {
        const fdl::TCut cut = fdl::Cut(heard.data() + at, heard.size() - at);
        if (cut.kind == fdl::TCutKind::Incomplete) break;
        const auto frame = fdl::Parse(TByteString(heard.data() + at, cut.length));
        at += std::max<std::size_t>(cut.length, 1);
        if (!frame) continue;
        std::string text = frame->IsToken() ? "token" : frame->start == fdl::SC ? "ack" : "";
        if (frame->start != fdl::SC)
            text += " " + std::to_string(frame->sa) + ">" + std::to_string(frame->da) +
                    (frame->dsap        ? " sap " + std::to_string(*frame->dsap)
                     : frame->IsToken() ? ""
                                        : " data");
        if (std::find(seen.begin(), seen.end(), text) == seen.end()) seen.push_back(text);
    }
    // Station 5 (master 2's) through the start-up into data exchange, station 6 by master 3.
    const std::vector<std::string> station5 = {" 2>5 sap 60", " 5>2 sap 62", " 2>5 sap 61", "ack",
                                               " 2>5 sap 58", " 2>5 data",   " 5>2 data"};
    auto from = seen.begin();
    for (const std::string& step : station5) {
        from = std::find(from, seen.end(), step);
        EXPECT_NE(from, seen.end()) << step << " missing or out of order";
    }
    for (const char* step : {"token 2>3", "token 3>2", " 3>6 data", " 6>3 data"})
        EXPECT_NE(std::find(seen.begin(), seen.end(), step), seen.end()) << step;

    // Bytes written into the tap go onto the line among the plant's traffic.
    const std::vector<std::uint8_t> zeros(200, 0x00);
    const TByteString burst(zeros.data(), zeros.size());
    for (int i = 0; i < 3; ++i) tap.Transact(burst, 0);
    slave.Signal(SIGUSR1);
    std::optional<SlaveCounts> counts;
    EXPECT_TRUE(WaitUntil([&] { return (counts = SlaveCounts::Read(stats)) && counts->tapWritten == 600; }));
    ASSERT_TRUE(counts);
    EXPECT_GE(counts->collisions, 1);
    EXPECT_GT(counts->plantExchanges, 10);
    EXPECT_EQ(slave.Stop(), 0);
}
