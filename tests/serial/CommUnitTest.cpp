// The serial channel on real pseudo-terminals: choosing and switching ports,
// handing on the telegrams each poll brings (the cutting rules themselves
// are in FramingTest), the empty tick and how it waits for an answer, and a
// device that vanishes and comes back.
#include "tests/support/Hex.h"
#include "tests/support/LinkedPorts.h"
#include "serial/CommUnit.h"
#include "serial/VeltDispatch.h"
#include "serial/VeltExcept.h"

#include <gtest/gtest.h>

#include <cctype>
#include <termios.h>
#include <thread>
#include <vector>

namespace {

class CommUnitTest : public ::testing::Test {
protected:
    CommUnitTest()
    {
        unit.Port().SetPromptForPort(false);
        unit.SetOnTelegram([this](const TByteString& t) {
            if (t.empty())
                ++ticks;
            else
                got.push_back(HexDump(t));
        });
        unit.SetOnNotice([this](const std::string& text) { notices.push_back(text); });
    }

    // Opens COM1 on a fresh pseudo-terminal and starts polling.
    PtyPair& OpenCom1()
    {
        PtyPair& pty = ports.Add(1);
        unit.OpenAndPoll(1);
        return pty;
    }
    // Bytes arrive from the line and are in the port component, unpolled.
    void Arrive(const PtyPair& pty, const std::string& hex)
    {
        const TByteString bytes = BytesFromHex(hex);
        WriteFar(pty, bytes);
        std::uint8_t b = 0;
        ASSERT_TRUE(WaitUntil([&] { return unit.Port().Dispatcher()->PeekInput(pending + bytes.size(), b) == 0; }));
        pending += bytes.size();
    }
    void Poll()
    {
        unit.PollTick();
        pending = 0;
    }
    std::string Buffer() const { return HexDump(unit.RxBuffer(), static_cast<std::size_t>(unit.RxCount()), true); }

    LinkedPorts ports;
    TCommUnit unit;
    TListPortChooser combo;
    std::vector<std::string> got;
    std::vector<std::string> notices;
    int ticks = 0;
    std::size_t pending = 0;
};

std::vector<std::string> Names(const TListPortChooser& combo)
{
    std::vector<std::string> names;
    for (const auto& item : combo.Items()) names.push_back(item.text);
    return names;
}

}  // namespace

TEST_F(CommUnitTest, CreatedClosedWithLineSettingsAndTimerOff)
{
    EXPECT_FALSE(unit.Port().Open());
    EXPECT_FALSE(unit.Port().DTR());
    EXPECT_FALSE(unit.Port().RTS());
    EXPECT_EQ(unit.Port().Baud(), 19200);
    EXPECT_EQ(unit.Port().Parity(), pEven);
    EXPECT_FALSE(unit.PollTimer().Enabled());
    EXPECT_EQ(unit.PollTimer().Interval(), 20);
}

TEST_F(CommUnitTest, ScanListsOpeningPortsAndPrefersCom2)
{
    ports.Add(1);
    ports.Add(2);
    const PtyPair& com5 = ports.Add(5);
    combo.AddItem("earlier", "");
    unit.ScanPorts(combo);

    EXPECT_EQ(Names(combo), (std::vector<std::string>{"earlier", "COM1", "COM2", "COM5"}));
    EXPECT_NE(combo.Items()[3].toolTip.find(com5.path), std::string::npos) << combo.Items()[3].toolTip;
    EXPECT_EQ(combo.Text(), "COM2");
    EXPECT_TRUE(unit.Port().Open());
    EXPECT_EQ(unit.Port().ComNumber(), 2);
    EXPECT_TRUE(unit.Port().DTR());
    EXPECT_TRUE(unit.Port().RTS());
    EXPECT_TRUE(unit.PollTimer().Enabled());
}

TEST_F(CommUnitTest, ScanWithoutCom2OpensTheLowestPort)
{
    ports.Add(3);
    ports.Add(1);
    unit.ScanPorts(combo);
    EXPECT_EQ(Names(combo), (std::vector<std::string>{"COM1", "COM3"}));
    EXPECT_EQ(combo.Text(), "COM1");
    EXPECT_EQ(unit.Port().ComNumber(), 1);
    EXPECT_TRUE(unit.Port().Open());
}

TEST_F(CommUnitTest, ScanWithNoPortFailsAndNothingPolls)
{
    EXPECT_THROW(unit.ScanPorts(combo), ENoPortSelected);
    EXPECT_TRUE(combo.Items().empty());
    EXPECT_FALSE(unit.PollTimer().Enabled());
}

TEST_F(CommUnitTest, UserChoosesAnotherPortInTheCombo)
{
    ports.Add(1);
    PtyPair& com12 = ports.Add(12);
    unit.ScanPorts(combo);
    combo.UserChanges("COM12");
    EXPECT_EQ(unit.Port().ComNumber(), 12);
    ASSERT_TRUE(unit.Port().Open());
    unit.Port().WriteString(BytesFromHex("E5"));
    EXPECT_EQ(HexDump(ReadFar(com12)), " E5");
}

TEST_F(CommUnitTest, ComboTextNamingNoPortLeavesPortClosedAndTimerRunning)
{
    ports.Add(1);
    ports.Add(2);
    unit.ScanPorts(combo);
    for (const std::string text : {"COM", "CO", "COMx", "COM 1x", "COM0", "COM256", "COM65538"}) {
        SCOPED_TRACE(text);
        const bool number = text.size() > 3 && std::isdigit(static_cast<unsigned char>(text[3]));
        notices.clear();
        try {
            combo.UserChanges(text);
            ADD_FAILURE() << "no conversion error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), number ? "'" + text + "' is not a port from COM1 to COM255"
                                                    : "'" + text.substr(std::min<std::size_t>(3, text.size())) +
                                                          "' is not a valid integer value");
        }
        EXPECT_EQ(notices, (std::vector<std::string>{"'" + text +
                                                     "' names no port from COM1 to COM255; the port stays closed"}));
        EXPECT_FALSE(unit.Write(BytesFromHex("E5")));  // the component does not open the old port behind the box's back
        EXPECT_FALSE(unit.Port().Open());
        EXPECT_TRUE(unit.PollTimer().Enabled());
    }
    // The ticks go on while the port is closed.
    for (int i = 0; i < 10; ++i) unit.PollTick();
    EXPECT_EQ(ticks, 2);
}

TEST_F(CommUnitTest, EmptyTickEveryFifthPollAfterAnyTelegramOfThatPoll)
{
    const PtyPair& pty = OpenCom1();
    std::vector<std::string> order;
    unit.SetOnTelegram([&](const TByteString& t) { order.push_back(t.empty() ? "tick" : HexDump(t)); });
    for (int i = 0; i < 4; ++i) Poll();
    EXPECT_TRUE(order.empty());
    Arrive(pty, "E5");
    Poll();
    EXPECT_EQ(order, (std::vector<std::string>{" E5", "tick"}));
    for (int i = 0; i < 5; ++i) Poll();
    EXPECT_EQ(order.size(), 3u);
    EXPECT_EQ(unit.TickCount(), 0);
}

TEST_F(CommUnitTest, VariableTelegramSpreadOverPollsComesWithItsLastByte)
{
    const PtyPair& pty = OpenCom1();
    Arrive(pty, "68 05 05");
    Poll();
    Arrive(pty, "68 80 83 08 3E");
    Poll();
    Arrive(pty, "3C 85");
    Poll();
    EXPECT_TRUE(got.empty());
    Arrive(pty, "16");
    Poll();
    EXPECT_EQ(got, (std::vector<std::string>{" 68 05 05 68 80 83 08 3E 3C 85 16"}));
    EXPECT_EQ(unit.RxCount(), 0);
}

TEST_F(CommUnitTest, EachTelegramOfAPollIsHandedOverAlone)
{
    const PtyPair& pty = OpenCom1();
    Arrive(pty, "68 03 03 68 00 03 08 0B 16 68 03 03 68 00 03 08 0B 16 68 03");
    Poll();
    EXPECT_EQ(got, (std::vector<std::string>(2, " 68 03 03 68 00 03 08 0B 16")));
    EXPECT_EQ(Buffer(), " 68 03");
    Arrive(pty, "03");
    Poll();
    EXPECT_EQ(got.size(), 2u);
    EXPECT_EQ(Buffer(), " 68 03 03");
}

TEST_F(CommUnitTest, CorruptHeadIsDroppedAndTheAnswerBehindItHandedOn)
{
    const PtyPair& pty = OpenCom1();
    Arrive(pty, "68 03 03 68 00 03 08 0C 16 68 03 03 68 00 03 08 0B 16 68");
    Poll();
    EXPECT_EQ(got, (std::vector<std::string>{" 68 03 03 68 00 03 08 0B 16"}));
    EXPECT_EQ(Buffer(), " 68");
    EXPECT_EQ(unit.LineCounts().checkSum, 1u);
}

// A stray head announces a telegram that never completes: it is dropped
// once its own time on the line and the allowance have passed, and the
// answer behind it comes through; so does one behind more heads than the
// buffer holds.
TEST_F(CommUnitTest, TelegramOutOfItsTimeIsDroppedAndTheBytesBehindItScanned)
{
    const PtyPair& pty = OpenCom1();
    unit.SetAdapterAllowance(0);
    const auto answerCame = [&] {
        Poll();
        return !got.empty();
    };
    Arrive(pty, "68 20 20 68 68 03 03 68 00 03 08 0B 16");
    Poll();
    EXPECT_TRUE(got.empty());
    ASSERT_TRUE(WaitUntil(answerCame));
    EXPECT_EQ(got, (std::vector<std::string>{" 68 03 03 68 00 03 08 0B 16"}));
    EXPECT_EQ(unit.LineCounts().timeout, 1u);

    got.clear();
    std::string many;
    for (int i = 0; i < 150; ++i) many += " 68";
    Arrive(pty, many);
    Arrive(pty, many + " E5");
    ASSERT_TRUE(WaitUntil(answerCame));
    EXPECT_EQ(got, (std::vector<std::string>{" E5"}));
    EXPECT_EQ(unit.RxCount(), 0);
}

// An adapter that hands over the first bytes of a head alone: the length
// byte already tells the telegram's time on the line, so a pause of more
// than the allowance after it does not lose the answer.
TEST_F(CommUnitTest, PauseAfterTheLengthByteDoesNotLoseTheAnswer)
{
    const PtyPair& pty = OpenCom1();
    TByteString body = BytesFromHex("00 03 08");
    while (body.size() < 0x8B) body.Append(static_cast<std::uint8_t>(body.size()));
    TByteString answer = BytesFromHex("68 8B 8B 68") + body;
    answer.Append(fdl::Sum8(body.data(), body.size()));
    answer.Append(0x16);
    Arrive(pty, HexFromBytes(answer.Mid(0, 3)));
    const auto pause = TCommUnit::Clock::now() + std::chrono::milliseconds(TCommUnit::DefaultAdapterAllowance + 5);
    while (TCommUnit::Clock::now() < pause) {
        Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Arrive(pty, HexFromBytes(answer.Mid(3, answer.size() - 3)));
    Poll();
    EXPECT_EQ(got, (std::vector<std::string>{HexDump(answer)}));
    EXPECT_EQ(unit.LineCounts().timeout, 0u);
    EXPECT_EQ(unit.LineCounts().noiseBytes, 0u);
}

// The port asks the driver to mark a character received with a parity error
// (PARMRK): its telegram is dropped, though its check sum holds, while a data
// byte FF, which the driver doubles, comes through as one.
TEST_F(CommUnitTest, TelegramHoldingACharacterWithAParityErrorIsDropped)
{
    const PtyPair& pty = OpenCom1();
    // The test plays the driver: with EXTPROC the pseudo-terminal passes its bytes on as written.
    termios t{};
    ASSERT_EQ(tcgetattr(pty.master, &t), 0);
    ASSERT_TRUE(t.c_iflag & PARMRK);
    t.c_lflag |= EXTPROC;
    tcsetattr(pty.master, TCSANOW, &t);
    WriteFar(pty, BytesFromHex("68 05 05 68 02 03 08 FF 00 01 02 10 16 68 05 05 68 02 03 08 FF FF 02 0E 16"));
    ASSERT_TRUE(WaitUntil([&] {
        Poll();
        return !got.empty();
    }));
    EXPECT_EQ(got, (std::vector<std::string>{" 68 05 05 68 02 03 08 FF 02 0E 16"}));
    EXPECT_EQ(unit.LineCounts().parity, 1u);
    EXPECT_EQ(unit.LineCounts().checkSum, 0u);
}

// After a request the tick waits until the answer is in (then it comes at
// once) or until the slot time has run out.
TEST_F(CommUnitTest, TickWaitsForTheAnswerOrTheSlotTime)
{
    const PtyPair& pty = OpenCom1();
    unit.SetOnTelegram([&](const TByteString& t) {
        if (t.empty())
            ++ticks;
        else
            unit.AnswerIn();
    });
    unit.SetAdapterAllowance(TCommUnit::MaxAdapterAllowance);
    unit.AwaitAnswer(9, 11);
    for (int i = 0; i < 2 * TCommUnit::PollsPerTick; ++i) Poll();
    EXPECT_EQ(ticks, 0);
    Arrive(pty, "68 05 05 68 00 03 08 01 02 0E 16");
    Poll();
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(unit.TickCount(), 0);  // the next tick counts from here

    unit.SetAdapterAllowance(0);
    const auto start = TCommUnit::Clock::now();
    unit.AwaitAnswer(9, 11);
    ASSERT_TRUE(WaitUntil([&] {
        Poll();
        return ticks == 2;
    }));
    EXPECT_GE(TCommUnit::Clock::now() - start, fdl::SlotTime(9, 11, 19200, {}));
    EXPECT_FALSE(unit.AwaitingAnswer());
}

TEST_F(CommUnitTest, HandlerMayEmptyTheBufferDuringTheHandOver)
{
    const PtyPair& pty = OpenCom1();
    unit.SetOnTelegram([this](const TByteString& t) {
        if (!t.empty()) unit.ClearBuffer();
    });
    Arrive(pty, "68 03 03 68 00 03 08 0B 16 68 03 03");
    Poll();
    EXPECT_EQ(unit.RxCount(), 0);
}

TEST_F(CommUnitTest, VanishedDeviceIsReopenedQuietlyWhenItComesBack)
{
    OpenCom1();
    ports.Remove(1);  // far side gone, link gone
    ASSERT_TRUE(WaitUntil([&] { return unit.Port().DeviceGone(); }));
    Poll();
    EXPECT_TRUE(unit.DeviceLost());
    EXPECT_FALSE(unit.Port().Open());
    EXPECT_FALSE(unit.Write(BytesFromHex("E5")));  // dropped, no exception

    // Still gone after a second of polls: ticks go on, nothing raises.
    for (int i = 0; i < TCommUnit::ReopenPolls; ++i) Poll();
    EXPECT_TRUE(unit.DeviceLost());
    EXPECT_EQ(ticks, (TCommUnit::ReopenPolls + 1) / TCommUnit::PollsPerTick);
    const std::string path = unit.OpenedPath();
    EXPECT_EQ(notices, (std::vector<std::string>{"Port COM1 (" + path + ") lost, waiting for it"}));

    // COM1 now names another device (numbers of real devices are given out
    // afresh): it is left alone.
    ports.AddDevice("ptmx");  // /dev/ptmx: a device that opens
    for (int i = 0; i < 2 * TCommUnit::ReopenPolls; ++i) Poll();
    EXPECT_TRUE(unit.DeviceLost());
    ports.RemoveDevice("ptmx");

    // Back on the same COM number: reopened within about a second.
    const PtyPair& back = ports.Add(1);
    for (int i = 0; i < TCommUnit::ReopenPolls && unit.DeviceLost(); ++i) Poll();
    EXPECT_FALSE(unit.DeviceLost());
    EXPECT_EQ(notices.back(), "Port COM1 (" + path + ") is back");
    EXPECT_EQ(notices.size(), 2u);
    ASSERT_TRUE(unit.Port().Open());
    EXPECT_TRUE(unit.Write(BytesFromHex("E5")));
    EXPECT_EQ(HexDump(ReadFar(back)), " E5");
    Arrive(back, "E5");
    Poll();
    EXPECT_EQ(got, (std::vector<std::string>{" E5"}));
}

// An awaited answer is handed over as soon as its last byte is in, without
// a poll; a part of it waits, and so does a telegram nobody awaits.
TEST_F(CommUnitTest, AwaitedAnswerIsHandedOverWithoutAPoll)
{
    const PtyPair& pty = OpenCom1();
    const std::string answer = "68 05 05 68 02 03 08 01 02 10 16";
    auto run = [&] {
        TVeltCustomComPort::RunPendingNotifications();
        return !got.empty();
    };
    unit.AwaitAnswer(9, 11);
    WriteFar(pty, BytesFromHex("68 05 05 68 02 03"));
    EXPECT_FALSE(WaitUntil(run, std::chrono::milliseconds(150))) << "part of the telegram";
    WriteFar(pty, BytesFromHex("08 01 02 10 16"));
    ASSERT_TRUE(WaitUntil(run));
    EXPECT_EQ(got, std::vector<std::string>{HexDump(BytesFromHex(answer))});

    got.clear();
    unit.AnswerIn();
    WriteFar(pty, BytesFromHex(answer));  // not awaited: the next poll takes it
    EXPECT_FALSE(WaitUntil(run, std::chrono::milliseconds(150)));
}

// A write waits for 33 bit times of idle line after the last byte sent or
// received and goes out at the timer's wake. While an answer is awaited, a
// telegram sooner than the line could carry request and answer is a late
// answer to an earlier request: dropped and counted, not handed on. An
// answer's delay beyond its time teaches the channel its allowance.
TEST_F(CommUnitTest, WriteWaitsForTheIdleLineAndAnEarlyAnswerIsLate)
{
    const PtyPair& pty = OpenCom1();
    auto& timer = static_cast<TManualTimer&>(unit.PollTimer());
    const auto write = [&](const TByteString& bytes) {
        EXPECT_TRUE(unit.Write(bytes));
        return WaitUntil([&] {
            timer.FireWake(TCommUnit::Clock::now());
            return !unit.WriteHeld();
        });
    };
    const TByteString request = TByteString::Filled(200, 0x5A);  // 115 ms on the line
    ASSERT_TRUE(unit.Write(request));
    ASSERT_TRUE(unit.Write(BytesFromHex("E5")));
    EXPECT_TRUE(unit.WriteHeld() && timer.WakeDue()) << "the request is still on the line";
    ASSERT_TRUE(write(BytesFromHex("E5")));
    EXPECT_EQ(ReadFar(pty), request + BytesFromHex("E5"));

    ASSERT_TRUE(write(request));
    unit.AwaitAnswer(request.size(), 1);
    Arrive(pty, "E5");
    Poll();
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(unit.LineCounts().late, 1u);

    // An answer 30 ms later than the line allows raises the allowance above the setting.
    unit.SetAdapterAllowance(0);
    const TByteString shortRequest = TByteString::Filled(20, 0x5A);
    ASSERT_TRUE(write(shortRequest));
    unit.AwaitAnswer(shortRequest.size(), 1);
    std::this_thread::sleep_for(fdl::EarliestAnswer(shortRequest.size(), 1, 19200) + std::chrono::milliseconds(30));
    Arrive(pty, "E5");
    Poll();
    EXPECT_EQ(got.size(), 1u);
    EXPECT_GT(unit.LearnedAllowance(), std::chrono::milliseconds(30));
}
