// Line settings: the settings-to-termios mapping, ApplyLine's drain and wait,
// modem lines and flow-control setups, trace and dispatch log.
#include "DispatcherTestSupport.h"
#include "tests/support/Hex.h"
#include "serial/posix/ParityMarks.h"
#include "serial/posix/TermiosMapping.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace dispatchtest;

namespace {

TDeviceControlBlock Block(std::uint32_t baud, std::uint8_t parity, std::uint8_t bits, std::uint8_t stop)
{
    TDeviceControlBlock b;
    b.BaudRate = baud;
    b.Parity = parity;
    b.ByteSize = bits;
    b.StopBits = stop;
    return b;
}

// The program asks the driver to check parity and to mark a bad character
// (and to double a data byte FF, which PARMRK does when ISTRIP is clear).
TEST(TermiosMapping, ProgramSettingsGiveRaw8E1At19200WithParityMarked)
{
    termios t{};
    t.c_iflag = ICRNL | IXON | ISTRIP | IGNPAR;
    t.c_lflag = ICANON | ECHO;
    bool custom = true;
    TDeviceControlBlock block = Block(19200, 2, 8, TDeviceControlBlock::OneStopBit);
    block.ParityCheck = true;
    ASSERT_EQ(ControlBlockToTermios(block, t, custom), ecOK);
    EXPECT_FALSE(custom);
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(cfgetispeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & PARODD);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_TRUE((t.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD));
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(t.c_iflag & (PARMRK | INPCK), static_cast<tcflag_t>(PARMRK | INPCK));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP | IGNPAR), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    block.ParityCheck = false;
    ASSERT_EQ(ControlBlockToTermios(block, t, custom), ecOK);
    EXPECT_EQ(t.c_iflag & (PARMRK | INPCK), 0u);
}

// The driver's marks, read in pieces of any size and into little room:
// "X!" is X with a parity or framing error.
TEST(ParityMarks, DecodesTheDriversMarksAcrossReads)
{
    const struct {
        const char* what;
        const char* raw;
        std::size_t piece;  // bytes a read brings at most
        std::size_t room;   // of the input buffer at each read
        const char* bytes;
    } rows[] = {
        {"plain bytes", "10 03 00 49 4C 16", 64, 64, "10 03 00 49 4C 16"},
        {"a bad character", "68 FF 00 83 68", 64, 64, "68 83! 68"},
        {"a doubled FF is one FF", "02 FF FF 03", 64, 64, "02 FF 03"},
        {"a break", "FF 00 00 E5", 64, 64, "00! E5"},
        {"FF that no marking driver sends", "FF 41 FF FF", 64, 64, "FF 41 FF"},
        {"cut after FF", "05 FF FF FF 00 58 16", 2, 64, "05 FF 58! 16"},
        {"one byte a read", "FF FF FF 00 FF 07", 1, 64, "FF FF! 07"},
        {"room for one byte", "FF 41 FF 00 42 FF FF 43", 64, 1, "FF 41 42! FF 43"},
    };
    for (const auto& row : rows) {
        const TByteString raw = BytesFromHex(row.raw);
        TParityMarks marks;
        std::string got;
        for (std::size_t at = 0, reads = 0; at < raw.size() || reads < 2 * raw.size(); ++reads) {
            const std::size_t want = std::min({marks.ReadRoom(row.room), row.piece, raw.size() - at});
            std::vector<std::uint8_t> out(row.room);
            std::vector<std::uint32_t> bad;
            const std::size_t n = marks.Decode(raw.data() + at, want, out.data(), row.room, bad);
            ASSERT_LE(n, row.room) << row.what;
            at += want;
            for (std::size_t i = 0; i < n; ++i) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "%s%02X", got.empty() ? "" : " ", out[i]);
                got += hex;
                if (std::find(bad.begin(), bad.end(), i) != bad.end()) got += "!";
            }
        }
        EXPECT_EQ(got, row.bytes) << row.what;
    }
}

TEST(TermiosMapping, ParityStopBitsAndFlowFlags)
{
    termios t{};
    bool custom = false;
    ASSERT_EQ(ControlBlockToTermios(Block(9600, 1, 7, TDeviceControlBlock::TwoStopBits), t, custom), ecOK);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    ASSERT_EQ(ControlBlockToTermios(Block(9600, 0, 8, 0), t, custom), ecOK);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), 0u);
    ASSERT_EQ(ControlBlockToTermios(Block(9600, 3, 8, 0), t, custom), ecOK);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD | CMSPAR));
    ASSERT_EQ(ControlBlockToTermios(Block(9600, 4, 8, 0), t, custom), ecOK);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | CMSPAR));

    auto flow = Block(9600, 0, 8, 0);
    flow.OutxCtsFlow = true;
    flow.OutX = true;
    flow.InX = true;
    flow.XonChar = 0x11;
    flow.XoffChar = 0x13;
    ASSERT_EQ(ControlBlockToTermios(flow, t, custom), ecOK);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF));
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

TEST(TermiosMapping, RatesWithoutAConstantAndInvalidValues)
{
    termios t{};
    bool custom = false;
    for (std::uint32_t rate : {45450u, 93750u, 187500u}) {
        EXPECT_EQ(ControlBlockToTermios(Block(rate, 2, 8, 0), t, custom), ecOK) << rate;
        EXPECT_TRUE(custom) << rate;
    }
    EXPECT_EQ(ControlBlockToTermios(Block(12345, 2, 8, 0), t, custom), ecBaudRate);
    EXPECT_EQ(ControlBlockToTermios(Block(0, 2, 8, 0), t, custom), ecBaudRate);
    EXPECT_EQ(ControlBlockToTermios(Block(19200, 2, 9, 0), t, custom), ecByteSize);
    EXPECT_EQ(ControlBlockToTermios(Block(19200, 7, 8, 0), t, custom), ecDefault);
}

// A device left cooked at the very line asked for is still made raw.
TEST(DispatcherActivate, WritesTheRawSettingsAlsoWhenTheLineMatches)
{
    PtyPair pty;
    termios t{};
    ASSERT_EQ(tcgetattr(pty.keepSlave, &t), 0);
    t.c_lflag |= ECHO | ICANON;
    t.c_iflag |= ICRNL | IXON;
    t.c_cc[VMIN] = 1;
    t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB | CSTOPB)) | CS8;
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    ASSERT_EQ(tcsetattr(pty.keepSlave, TCSANOW, &t), 0);
    TVeltPosixDispatcher d;
    ASSERT_EQ(d.Activate(pty.path, 19200, 0, 8, 1, 4096, 4096, true, true), ecOK);
    ASSERT_EQ(tcgetattr(pty.keepSlave, &t), 0);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
}

using DispatcherLine = DispatcherOnPty;

TEST_F(DispatcherLine, ApplyLineSkipsTheDrainWhenNothingChanges)
{
    // The far side does not read, so output stays queued: a drain would wait
    // ten seconds for it.
    for (unsigned i = 0; d->OutputUsed() == 0 && i < 1000; ++i) {
        const auto block = Pattern(1000, i);
        (void)d->QueueBlock(block.data(), block.size());  // refused once full: the loop only needs a backlog
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_GT(d->OutputUsed(), 0u);
    const auto start = Clock::now();
    EXPECT_EQ(d->ApplyLine(19200, 2, 8, 1), ecOK);
    EXPECT_EQ(d->ApplyLine(KeepBaud, KeepParity, KeepDataBits, KeepStopBits), ecOK);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

TEST_F(DispatcherLine, ApplyLineWaitsEighteenCharactersAfterTheOutputDrained)
{
    // 19200 8E1: (10000000 div 19200) * 11 * 18 = 102960 units: 11 ms.
    const auto start = Clock::now();
    EXPECT_EQ(d->ApplyLine(9600, KeepParity, KeepDataBits, KeepStopBits), ecOK);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(11));
    const auto block = d->ControlBlock();
    EXPECT_EQ(block.BaudRate, 9600u);
    EXPECT_EQ(block.Parity, 2);
    EXPECT_EQ(block.ByteSize, 8);
    EXPECT_EQ(d->LastBaud(), 9600u);
    // Stop bits: 0 means one, anything above 2 means two; 5 data bits use 1.5.
    EXPECT_EQ(d->ApplyLine(KeepBaud, KeepParity, KeepDataBits, 7), ecOK);
    EXPECT_EQ(d->ControlBlock().StopBits, TDeviceControlBlock::TwoStopBits);
    EXPECT_EQ(d->ApplyLine(KeepBaud, KeepParity, KeepDataBits, 0), ecOK);
    EXPECT_EQ(d->ControlBlock().StopBits, TDeviceControlBlock::OneStopBit);
    EXPECT_EQ(d->ApplyLine(KeepBaud, KeepParity, 5, 1), ecOK);
    EXPECT_EQ(d->ControlBlock().StopBits, TDeviceControlBlock::One5StopBits);
    // A refused rate changes nothing.
    EXPECT_EQ(d->ApplyLine(12345, KeepParity, 8, 1), ecBaudRate);
    EXPECT_EQ(d->ControlBlock().BaudRate, 9600u);
}

TEST_F(DispatcherLine, ModemLinesAndHardwareFlowControl)
{
    // A pseudo-terminal has no modem lines: setting them is tolerated.
    EXPECT_EQ(d->SetDtrLine(false), ecOK);
    EXPECT_FALSE(d->DtrState());
    EXPECT_EQ(d->SetRtsLine(true), ecOK);
    EXPECT_TRUE(d->RtsState());
    EXPECT_EQ(d->ModemStatus() & 0xF0, 0);

    EXPECT_EQ(d->SetHardwareFlow(100, 200, hfUseDTR), ecBadArgument);   // resume above full
    EXPECT_EQ(d->SetHardwareFlow(5000, 100, hfUseDTR), ecBadArgument);  // full above the input size
    EXPECT_EQ(d->SetHardwareFlow(3686, 409, hfUseDTR | hfUseRTS | hfRequireCTS), ecOK);
    const auto block = d->ControlBlock();
    EXPECT_EQ(block.DtrControl, TDeviceControlBlock::DtrHandshake);
    EXPECT_EQ(block.RtsControl, TDeviceControlBlock::RtsHandshake);
    EXPECT_TRUE(block.OutxCtsFlow);
    EXPECT_EQ(block.XoffLim, 4096u - 3686u);
    EXPECT_EQ(block.XonLim, 409u);
    // Flow control owns the lines now.
    EXPECT_EQ(d->SetDtrLine(true), ecUnderFlowControl);
    EXPECT_EQ(d->SetRtsLine(true), ecUnderFlowControl);
    EXPECT_EQ(d->SetHardwareFlow(3686, 409, 0), ecOK);
    EXPECT_EQ(d->SetDtrLine(true), ecOK);
}

TEST_F(DispatcherLine, SoftwareFlowControl)
{
    EXPECT_EQ(d->SetSoftwareFlow(10, 20, sfReceive), ecBadArgument);
    EXPECT_EQ(d->SetSoftwareFlow(3072, 1024, sfReceive | sfTransmit), ecOK);
    auto block = d->ControlBlock();
    EXPECT_TRUE(block.InX);
    EXPECT_TRUE(block.OutX);
    EXPECT_EQ(block.XoffLim, 1024u);
    EXPECT_EQ(block.XonLim, 1024u);
    EXPECT_EQ(d->SetXonXoffChars('A', 'B'), ecOK);
    EXPECT_EQ(d->ControlBlock().XonChar, 'A');
    EXPECT_EQ(d->RemoveSoftwareFlow(), ecOK);
    block = d->ControlBlock();
    EXPECT_FALSE(block.InX || block.OutX);
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(DispatcherLine, TraceAndDispatchLogRecordTrafficAndDumpIt)
{
    EXPECT_EQ(d->StartTrace(MaxTraceSize + 1), ecBadArgument);
    EXPECT_EQ(d->StartLog(MaxLogSize + 1), ecBadArgument);
    EXPECT_EQ(d->ClearTrace(), ecTracingNotEnabled);
    ASSERT_EQ(d->StartTrace(100), ecOK);
    ASSERT_EQ(d->StartLog(10000), ecOK);
    const std::uint8_t out[] = {'A', 'B', 0x01};
    ASSERT_EQ(d->QueueBlock(out, sizeof out), ecOK);
    ASSERT_EQ(ReadFor(pty.master, 3).size(), 3u);
    const std::uint8_t in[] = {'x', 'y'};
    ASSERT_TRUE(WriteAll(pty.master, in, sizeof in));
    EXPECT_EQ(TakeFor(*d, 2).size(), 2u);

    const std::string dir = ::testing::TempDir();
    const std::string traceFile = dir + "/quorvel-trace.txt";
    const std::string logFile = dir + "/quorvel-log.txt";
    ASSERT_EQ(d->DumpTrace(traceFile, false, true, false), ecOK);
    EXPECT_FALSE(d->TraceActive());
    EXPECT_EQ(FileText(traceFile), "VELT v3.01 trace\nT: AB[01]\nR: xy\n");
    ASSERT_EQ(d->DumpLog(logFile, false, false, true), ecOK);
    const std::string log = FileText(logFile);
    EXPECT_NE(log.find("VELT v3.01\nCompiler : "), std::string::npos);
    EXPECT_NE(log.find("Operating System : "), std::string::npos);
    EXPECT_NE(log.find("Time      Type      SubType       Data      OtherData"), std::string::npos);
    EXPECT_NE(log.find("Dispatch  WriteCom      00000003  41 42 01"), std::string::npos) << log;
    EXPECT_NE(log.find("Dispatch  ReadCom       00000002  78 79"), std::string::npos) << log;
    unlink(traceFile.c_str());
    unlink(logFile.c_str());
}

TEST_F(DispatcherLine, TheTraceKeepsTheNewestEntriesWhenItWraps)
{
    ASSERT_EQ(d->StartTrace(4), ecOK);
    const std::uint8_t out[] = {'1', '2', '3', '4', '5', '6'};
    ASSERT_EQ(d->QueueBlock(out, sizeof out), ecOK);
    const std::string file = ::testing::TempDir() + "/quorvel-wrap.txt";
    ASSERT_EQ(d->DumpTrace(file, false, false, false), ecOK);
    EXPECT_EQ(FileText(file), "VELT v3.01 trace\nT: 3456\n");
    unlink(file.c_str());
}

}  // namespace
