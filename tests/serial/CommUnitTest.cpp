// The serial channel on real pseudo-terminals: choosing and switching ports,
// handing on the telegrams each poll brings (the delimiting rules themselves
// are in TelegramCutTest), the empty tick, and a device that vanishes and
// comes back.
#include "Hex.h"
#include "LinkedPorts.h"
#include "serial/CommUnit.h"
#include "serial/VeltDispatch.h"
#include "serial/VeltExcept.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class CommUnitTest : public ::testing::Test {
protected:
    CommUnitTest()
    {
        unit.Port().SetPromptForPort(false);
        unit.SetOnTelegram([this](const TByteString& t) {
            if (t.empty()) ++ticks;
            else got.push_back(HexDump(t));
        });
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

TEST_F(CommUnitTest, ComboTextWithoutNumberLeavesPortClosedAndTimerRunning)
{
    ports.Add(1);
    unit.ScanPorts(combo);
    for (const char* text : {"COM", "CO", "COMx", "COM 1x"}) {
        SCOPED_TRACE(text);
        try {
            combo.UserChanges(text);
            ADD_FAILURE() << "no conversion error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(text).substr(std::min<std::size_t>(3, std::string(text).size())) +
                                                 "' is not a valid integer value");
        }
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

TEST_F(CommUnitTest, SecondTelegramOfAPollWaitsForAPollWithNewBytes)
{
    const PtyPair& pty = OpenCom1();
    Arrive(pty, "68 03 03 68 00 03 08 0B 16 68 03 03 68 00 03 08 0B 16 68 03");
    Poll();
    // Handed on as the whole buffer; only the first telegram leaves it.
    EXPECT_EQ(got, (std::vector<std::string>{" 68 03 03 68 00 03 08 0B 16 68 03 03 68 00 03 08 0B 16 68 03"}));
    EXPECT_EQ(Buffer(), " 68 03 03 68 00 03 08 0B 16 68 03");
    Poll();
    EXPECT_EQ(got.size(), 1u);  // nothing new arrived, nothing recognised
    Arrive(pty, "03");
    Poll();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], " 68 03 03 68 00 03 08 0B 16 68 03 03");
    EXPECT_EQ(Buffer(), " 68 03 03");
}

TEST_F(CommUnitTest, ByteBeyondTheBufferDropsEverything)
{
    const PtyPair& pty = OpenCom1();
    std::string many;
    for (int i = 0; i < 255; ++i) many += " 68";
    Arrive(pty, many);
    Arrive(pty, "68");  // the 256th byte of the same poll
    Poll();
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(unit.RxCount(), 0);
    Arrive(pty, "E5");  // reception starts again with the next byte
    Poll();
    EXPECT_EQ(got, (std::vector<std::string>{" E5"}));
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

    // Back on the same COM number: reopened within about a second.
    const PtyPair& back = ports.Add(1);
    for (int i = 0; i < TCommUnit::ReopenPolls && unit.DeviceLost(); ++i) Poll();
    EXPECT_FALSE(unit.DeviceLost());
    ASSERT_TRUE(unit.Port().Open());
    EXPECT_TRUE(unit.Write(BytesFromHex("E5")));
    EXPECT_EQ(HexDump(ReadFar(back)), " E5");
    Arrive(back, "E5");
    Poll();
    EXPECT_EQ(got, (std::vector<std::string>{" E5"}));
}
