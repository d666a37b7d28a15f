// The DP master's state machine, driven Step by Step as the serial channel
// drives it, writing to a real pseudo-terminal. The test plays the slave by
// handing the master its answers directly.
#include "tests/support/Hex.h"
#include "tests/support/LinkedPorts.h"
#include "dp/Profi_dp.h"
#include "serial/VeltExcept.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

const char* const diagReply = "68 0B 0B 68 80 83 08 3E 3C 00 0C 00 09 C5 00 5F 16";
const char* const dataReply = "68 0B 0B 68 00 03 08 00 00 00 00 00 00 00 00 0B 16";
const char* const shortFrame = "10 00 03 03 06 16";  // the slave: service not active

class StatusRecorder : public TStatusDisplay {
public:
    void ShowStatus(const std::string& text, const TStatusColour& colour) override
    {
        this->text = text;
        this->colour = colour;
    }
    std::string text;
    TStatusColour colour;
};

class MasterTest : public ::testing::Test {
protected:
    MasterTest() : pty(ports.Add(1))
    {
        master.CommUnit().Port().SetPromptForPort(false);
        master.CommUnit().OpenAndPoll(1);
        master.SlaveAddress = 3;
        master.SetStatusEdit(&status);
        master.SetOnReceive([this](const TByteString& t) {
            received.push_back(HexDump(t));
            master.ClassifyReply(t);
        });
        master.SetOnSend([this](const TByteString& t) {
            sent.emplace_back(tick, Request(t));
            if (t.size() > 6) fcs.push_back(t[6]);
        });
        master.SetOnStatusText([this](const std::string& text) { texts.emplace_back(tick, text); });
        master.SetOnStateChange([this](const MasterState& s) { states.push_back(s.State); });
    }

    // The name of a request the master sent.
    static std::string Request(const TByteString& t)
    {
        if (t.size() < 9) return "?";
        if (!(t[4] & 0x80)) return "Data_Exchange";
        switch (t[7]) {
        case 0x3C: return "Slave_Diag";
        case 0x3D: return "Set_Prm";
        case 0x3E: return "Chk_Cfg";
        case 0x3A: return "Global_Control";
        default: return "?";
        }
    }
    // What a healthy slave answers to a request ("" for none).
    std::string AnswerTo(const std::string& request) const
    {
        if (request == "Slave_Diag") return diagAnswer;
        if (request == "Set_Prm" || request == "Chk_Cfg") return "E5";
        if (request == "Data_Exchange") return dataReply;
        return "";
    }

    // An empty tick; what it wrote is on the line once the line's idle time has passed.
    void Tick()
    {
        ++tick;
        master.Step({});
        ASSERT_TRUE(WaitUntil([&] {
            master.CommUnit().PollInput();
            return !master.CommUnit().WriteHeld();
        }));
    }
    void Receive(const std::string& hex) { master.Step(BytesFromHex(hex)); }
    // One empty tick, then the answer to whatever it sent, at once.
    void TickAnswered()
    {
        const std::size_t before = sent.size();
        Tick();
        if (sent.size() > before && !AnswerTo(sent.back().second).empty()) Receive(AnswerTo(sent.back().second));
    }
    void RunToConnected()
    {
        master.StartMaster();
        for (int i = 0; i < 14; ++i) TickAnswered();
        ASSERT_EQ(master.CurrentState().State, stDataExchange);
        ReadFar(pty);
        sent.clear();
        texts.clear();
    }
    std::vector<std::string> SentNames() const
    {
        std::vector<std::string> names;
        for (const auto& s : sent) names.push_back(s.second);
        return names;
    }

    LinkedPorts ports;
    PtyPair& pty;
    T_DPV0 master;
    StatusRecorder status;
    int tick = 0;
    std::string diagAnswer = diagReply;
    std::vector<std::pair<int, std::string>> sent;
    std::vector<int> fcs;  // the function code of each SD2 request
    std::vector<std::pair<int, std::string>> texts;
    std::vector<std::string> received;
    std::vector<int> states;
};

}  // namespace

TEST_F(MasterTest, CreatedIdleAndSilentUntilStarted)
{
    EXPECT_EQ(master.CurrentState().State, stIdle);
    EXPECT_EQ(master.ModuleCount(), 1);
    EXPECT_EQ(master.OutputData, TByteString::Filled(9));
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_EQ(states, (std::vector<int>{stIdle}));  // LastState starts all zero
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(ReadFar(pty, std::chrono::milliseconds(50)).empty());
}

TEST_F(MasterTest, StartUpScheduleAgainstASlaveThatAnswersAtOnce)
{
    master.StartMaster();
    TickAnswered();
    EXPECT_EQ(HexDump(ReadFar(pty)), " FE FF 01");
    for (int i = 2; i <= 15; ++i) TickAnswered();

    const std::vector<std::pair<int, std::string>> expectedSends = {{2, "Slave_Diag"},     {4, "Set_Prm"},
                                                                    {6, "Chk_Cfg"},        {7, "Slave_Diag"},
                                                                    {8, "Global_Control"}, {15, "Data_Exchange"}};
    EXPECT_EQ(sent, expectedSends);
    const std::vector<std::pair<int, std::string>> expectedTexts = {
        {2, "Connecting"}, {4, "Parameterization"}, {6, "Configurating"}, {14, "Connected"}};
    EXPECT_EQ(texts, expectedTexts);
    EXPECT_EQ(status.text, "Connected");
    EXPECT_EQ(status.colour, TStatusColour::Navy());
}

TEST_F(MasterTest, ConnectedSendsOneDataExchangePerTickWhileAnswered)
{
    RunToConnected();
    for (int i = 0; i < 100; ++i) TickAnswered();
    EXPECT_EQ(sent.size(), 100u);
    EXPECT_TRUE(texts.empty());
    EXPECT_EQ(master.CurrentState().State, stDataExchange);
}

TEST_F(MasterTest, CycleExtremesCountSinceTheLastResetOrStart)
{
    RunToConnected();
    for (int i = 0; i < 4; ++i) TickAnswered();
    TBusCounters c = master.Counters();
    EXPECT_GT(c.minCycle.count(), 0);
    EXPECT_LE(c.minCycle, c.meanCycle);
    EXPECT_LE(c.meanCycle, c.maxCycle);
    master.ResetCycles();
    EXPECT_EQ(master.Counters().maxCycle.count(), 0);
    TickAnswered();
    c = master.Counters();
    EXPECT_GT(c.lastCycle.count(), 0) << "the cycle under way at the reset counts";
    EXPECT_EQ(c.minCycle, c.maxCycle);
    EXPECT_EQ(c.meanCycle, c.lastCycle);
    master.StartMaster();
    EXPECT_EQ(master.Counters().maxCycle.count(), 0);
}

TEST_F(MasterTest, FastCycleSendsTheNextRequestAsSoonAsTheAnswerIsIn)
{
    RunToConnected();
    master.SetFastCycle(true);
    Tick();
    for (int i = 0; i < 5; ++i) Receive(dataReply);
    EXPECT_EQ(sent.size(), 6u);  // one on the tick, then one after each answer
    // The channel lets a tick through only once the slot time has run out
    // unanswered: the next request goes at once.
    Tick();
    EXPECT_EQ(sent.size(), 7u);
    EXPECT_TRUE(texts.empty());
}

TEST_F(MasterTest, ConnectingRepeatsSlaveDiagEverySecondStepUntilAnswered)
{
    master.StartMaster();
    // Each Slave_Diag goes once more, unchanged, before it counts as unanswered.
    for (int i = 0; i < 7; ++i) Tick();
    EXPECT_EQ(SentNames(), (std::vector<std::string>(4, "Slave_Diag")));
    EXPECT_EQ(fcs, (std::vector<int>(4, 0x6D)));
    EXPECT_EQ(texts.size(), 2u);
    // A short or wrong answer counts as none.
    Tick();
    Receive("E5");
    Tick();
    Receive("68 05 05 68 80 83 08 3C 3E 85 16");  // the request's own SAP order
    Tick();
    EXPECT_EQ(master.CurrentState().State, stConnecting);
    EXPECT_EQ(sent.size(), 7u);
}

// FCV=0 at a station's first request; after each answer FCB toggles with
// FCV=1; a repeat keeps it; a request unanswered through its repeat makes
// the next one start afresh.
TEST_F(MasterTest, FrameCountBitTogglesOnEachAnswerAndARepeatKeepsIt)
{
    master.StartMaster();
    for (int i = 0; i < 16; ++i) TickAnswered();  // the start-up and two Data_Exchange
    for (int i = 0; i < 3; ++i) Tick();           // unanswered, its repeat, the next
    EXPECT_EQ(fcs, (std::vector<int>{0x6D, 0x5D, 0x7D, 0x5D, 0x46, 0x7D, 0x5D, 0x7D, 0x7D, 0x6D}));
    EXPECT_EQ(master.Counters().repeats, 1u);
    EXPECT_EQ(master.Counters().noAnswer, 1u);
    const TByteString written = ReadFar(pty);
    ASSERT_GE(written.size(), 18u);
    const TByteString last = written.Mid(written.size() - 18, 18);  // its check sum covers the new FC
    EXPECT_EQ(last[16], fdl::Sum8(last.data() + 4, 12));
}

TEST_F(MasterTest, SetPrmNotAcknowledgedFallsBackToConnectingWithoutStartSequence)
{
    master.StartMaster();
    for (int i = 0; i < 3; ++i) TickAnswered();  // start, Slave_Diag, go on
    ReadFar(pty);
    Tick();  // Set_Prm
    Receive(diagReply);
    EXPECT_EQ(master.CurrentState().State, stParameterization);
    Tick();  // falls back
    EXPECT_EQ(master.CurrentState().State, stConnecting);
    Tick();
    EXPECT_EQ(SentNames(), (std::vector<std::string>{"Slave_Diag", "Set_Prm", "Slave_Diag"}));
    EXPECT_EQ(HexDump(ReadFar(pty)).find(" FE FF 01"), std::string::npos);

    // The empty tick after Set_Prm counts as no answer too.
    Receive(diagReply);
    Tick();  // go on
    Tick();  // Set_Prm
    Tick();  // its repeat
    Tick();  // no answer
    EXPECT_EQ(master.CurrentState().State, stParameterization);
    Tick();
    EXPECT_EQ(master.CurrentState().State, stConnecting);
}

TEST_F(MasterTest, ConfigurationFailuresRestartFromTheStartSequence)
{
    const auto toChkCfg = [this] {
        master.StartMaster();
        for (int i = 0; i < 5; ++i) TickAnswered();
        Tick();  // Chk_Cfg, no answer yet
        ASSERT_EQ(sent.back().second, "Chk_Cfg");
    };
    // Chk_Cfg answered by anything but a lone E5.
    toChkCfg();
    Receive(diagReply);
    Tick();
    EXPECT_EQ(master.CurrentState().State, stStart);
    ReadFar(pty);
    Tick();
    EXPECT_EQ(HexDump(ReadFar(pty)), " FE FF 01");

    // Chk_Cfg not answered before the tick, nor its repeat.
    toChkCfg();
    Tick();
    Tick();
    Tick();
    EXPECT_EQ(master.CurrentState().State, stStart);

    // The diagnosis after Chk_Cfg does not come.
    toChkCfg();
    Receive("E5");
    Tick();  // Slave_Diag
    EXPECT_EQ(sent.back().second, "Slave_Diag");
    Tick();
    Tick();
    Tick();
    EXPECT_EQ(master.CurrentState().State, stStart);
}

TEST_F(MasterTest, ShortFrameInDataExchangeRestarts)
{
    RunToConnected();
    Tick();
    ReadFar(pty);
    Receive(shortFrame);
    EXPECT_EQ(master.CurrentState().State, stStart);
    EXPECT_EQ(master.ReplyCode(), rcNone);
    Tick();
    EXPECT_EQ(HexDump(ReadFar(pty)), " FE FF 01");
    Tick();
    EXPECT_EQ(texts.back().second, "Connecting");
}

TEST_F(MasterTest, SilentSlaveIsReportedAfterTenUnansweredRequests)
{
    RunToConnected();
    // Nine unanswered requests, each with its repeat (each tick is one whose
    // slot time ran out, so the next goes at once), then an answered one:
    // nothing happens.
    for (int i = 0; i < 18; ++i) Tick();
    Tick();
    Receive(dataReply);
    EXPECT_EQ(sent.size(), 19u);
    EXPECT_EQ(master.CurrentState().State, stDataExchange);
    EXPECT_TRUE(texts.empty());

    // Ten in a row: the text, the restart, an emptied receive buffer.
    sent.clear();
    WriteFar(pty, BytesFromHex("68 03"));
    ASSERT_TRUE(WaitUntil([&] { return master.CommUnit().Port().InputAvailable(); }));
    master.CommUnit().PollTick();
    ASSERT_EQ(master.CommUnit().RxCount(), 2);
    for (int i = 0; i < 30 && texts.empty(); ++i) Tick();
    EXPECT_EQ(sent.size(), 20u);
    EXPECT_EQ(master.CommUnit().RxCount(), 0);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].second, "No answer from slave");
    EXPECT_EQ(status.text, "No answer from slave");
    EXPECT_EQ(status.colour, TStatusColour::WindowText());
    EXPECT_EQ(master.CurrentState().State, stStart);
    Tick();
    Tick();
    EXPECT_EQ(texts.back().second, "Connecting");
}

// Silence needs both the time and requests that went unanswered in it: a
// master that did not ask (its window busy) does not blame the station.
TEST_F(MasterTest, NoStationAnswersNeedsTimeAndUnansweredRequests)
{
    master.StartMaster();
    std::this_thread::sleep_for(T_DPV0::SilenceLimit + std::chrono::milliseconds(100));
    // Each request is judged just before the next goes out.
    const auto tickUntilSent = [&](std::size_t requests) {
        for (int i = 0; i < 40 && sent.size() < requests; ++i) Tick();
    };
    tickUntilSent(2 * T_DPV0::SilentStationRequests);  // each with its repeat
    for (const auto& text : texts) EXPECT_EQ(text.second, "Connecting");
    tickUntilSent(2 * T_DPV0::SilentStationRequests + 1);
    EXPECT_EQ(status.text, "No station answers at address 3");
}

TEST_F(MasterTest, StopMidStartUpGoesIdleAndPassesNoLateAnswerOn)
{
    master.StartMaster();
    for (int i = 0; i < 4; ++i) TickAnswered();
    sent.clear();
    states.clear();
    master.StopMaster();
    Tick();
    EXPECT_EQ(states, (std::vector<int>{stIdle}));
    const std::size_t heard = received.size();
    Receive("E5");
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(received.size(), heard) << "a stopped master hands nothing to the window";
}

TEST_F(MasterTest, WithoutReceiveHandlerNoAnswerCounts)
{
    master.SetOnReceive(nullptr);
    master.StartMaster();
    for (int i = 0; i < 10; ++i) TickAnswered();
    EXPECT_EQ(master.CurrentState().State, stConnecting);
    EXPECT_EQ(master.ReplyCode(), rcNone);
}

TEST_F(MasterTest, ModuleCountShapesStartUpDataAndOutputBytes)
{
    master.SetModuleCount(3);
    EXPECT_EQ(master.OutputData, TByteString::Filled(11));
    TByteString written;
    master.SetOnSend([&](const TByteString& t) { written = t; });
    master.StartMaster();
    Tick();
    Tick();
    Receive(diagReply);
    Tick();
    Tick();
    EXPECT_EQ(HexDump(written.Mid(written.size() - 6, 4)), " 41 4C 4C 4C");
    Receive("E5");
    Tick();
    Tick();
    EXPECT_EQ(HexDump(written.Mid(9, 9)), " C0 07 07 20 1F 20 1F 20 1F");
    master.SetModuleCount(1);
    EXPECT_EQ(master.OutputData, TByteString::Filled(9));
}

TEST_F(MasterTest, FailedWriteLeavesTheStateForTheNextStep)
{
    master.StartMaster();
    Tick();
    master.CommUnit().Port().SetAutoOpen(false);
    master.CommUnit().Port().ClosePort();
    states.clear();
    EXPECT_THROW(Tick(), ECommNotOpen);
    EXPECT_EQ(master.CurrentState().State, stConnecting);
    EXPECT_EQ(master.CurrentState().SubStep, ssSend);
    master.CommUnit().Port().OpenPort();
    Tick();
    EXPECT_EQ(SentNames(), (std::vector<std::string>{"Slave_Diag"}));
}

TEST_F(MasterTest, ReachingConnectedEmptiesTheReceiveBuffer)
{
    master.StartMaster();
    for (int i = 0; i < 13; ++i) TickAnswered();
    WriteFar(pty, BytesFromHex("68 03 03"));
    ASSERT_TRUE(WaitUntil([&] { return master.CommUnit().Port().InputAvailable(); }));
    master.CommUnit().PollTick();
    ASSERT_GT(master.CommUnit().RxCount(), 0);
    Tick();
    EXPECT_EQ(master.CurrentState().State, stDataExchange);
    EXPECT_EQ(master.CommUnit().RxCount(), 0);
}

TEST_F(MasterTest, RefusedParametersAreSaidOnceWithTheSlavesIdentAndEachDiagnosisIsDecoded)
{
    std::vector<std::string> diagnoses;
    master.SetOnDiagnosis([&](const diag::TDiagnosis& d) { diagnoses.push_back(diag::Line(d)); });
    diagAnswer = "68 0B 0B 68 80 83 08 3E 3C 42 05 00 FF 12 34 11 16";  // Prm_Fault, Ident_Number 1234
    master.StartMaster();
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 14; ++i) TickAnswered();
        Tick();
        Receive(shortFrame);  // the answer to that request: back to the start
    }
    int said = 0;
    for (const auto& t : texts)
        said += t.second == "Slave 3 refused the parameters (its Ident_Number is 1234, not 09C5)";
    EXPECT_EQ(said, 1);
    EXPECT_EQ(diagnoses.size(), 4u);  // two per start-up
    EXPECT_EQ(diagnoses.back(), "diag station 3 master - ident 1234 flags Station_Not_Ready,Prm_Fault,Prm_Req ext -");
}
