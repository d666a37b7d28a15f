#include "sim/DpSlave.h"
#include "SimTestSupport.h"
#include "sim/SlaveStation.h"

#include <gtest/gtest.h>
#include <random>

using namespace sim;
using namespace simtest;

namespace {

// A station driven by whole request telegrams; replies come back as hex text
// ("" for none).
struct TStationUnderTest {
    explicit TStationUnderTest(std::uint8_t address = 3, int modules = 1) : station(address, modules, 1, SimTime{}) {}

    std::string Send(const TByteString& telegram, Millis at)
    {
        now = SimTime{} + at;
        const auto reply = station.Dp().Handle(Parse(telegram), now);
        return reply ? HexDump(*reply) : std::string();
    }
    std::string Diagnosis() const { return HexDump(station.Dp().Diagnosis()); }
    // Slave_Diag, Set_Prm, Chk_Cfg, Slave_Diag, Global_Control, 100 ms apart.
    void StartUp(int masterModules, Millis at = Millis(0))
    {
        const std::uint8_t a = station.Dp().Address();
        Send(SlaveDiag(a), at);
        Send(SetPrm(a, masterModules), at + Millis(100));
        Send(ChkCfg(a, masterModules), at + Millis(200));
        Send(SlaveDiag(a), at + Millis(300));
        Send(GlobalControl(a), at + Millis(400));
    }

    TSlaveStation station;
    SimTime now{};
};

}  // namespace

TEST(DpSlave, AnswersTheMastersStartUpWithHonestDiagnosis)
{
    TStationUnderTest s;
    // Fresh station: not ready, parameters requested, no master yet.
    EXPECT_EQ(s.Send(BytesFromHex("68 05 05 68 83 80 6D 3C 3E EA 16"), Millis(0)),
              " 68 0B 0B 68 80 83 08 3E 3C 02 05 00 FF 09 C5 59 16");
    EXPECT_EQ(s.Send(BytesFromHex("68 0C 0C 68 03 00 6D 00 00 00 00 00 00 00 00 00 70 16"), Millis(50)),
              " 10 00 03 03 06 16");
    EXPECT_EQ(s.Send(BytesFromHex("68 11 11 68 83 80 6D 3D 3E 88 10 10 37 09 C5 00 80 00 00 41 4C A5 16"), Millis(100)),
              " E5");
    EXPECT_EQ(s.station.Dp().WatchdogTime(), Millis(2560));
    EXPECT_EQ(s.Diagnosis(), " 02 0C 00 00 09 C5");  // not ready yet, watchdog on, master 0
    EXPECT_EQ(s.Send(BytesFromHex("68 0A 0A 68 83 80 6D 3E 3E C0 07 07 20 1F F9 16"), Millis(200)), " E5");
    EXPECT_EQ(s.Send(BytesFromHex("68 05 05 68 83 80 6D 3C 3E EA 16"), Millis(300)),
              " 68 0B 0B 68 80 83 08 3E 3C 00 0C 00 00 09 C5 5F 16");
    EXPECT_EQ(s.Send(BytesFromHex("68 07 07 68 83 80 46 3A 3E 00 00 C1 16"), Millis(400)), "");
    EXPECT_EQ(s.station.Dp().State(), TSlaveState::DataExchange);

    const std::string reply =
        s.Send(BytesFromHex("68 0C 0C 68 03 00 6D 00 00 00 00 00 00 00 00 00 70 16"), Millis(500));
    EXPECT_EQ(reply.substr(0, 21), " 68 1B 1B 68 00 03 08");  // 24 input bytes for one module
    EXPECT_EQ(reply.size(), 3u * (24 + 9));
}

TEST(DpSlave, GivesEightPlusSixteenInputBytesPerModuleAtAnyAddress)
{
    for (const auto& [address, modules] : {std::pair{0, 1}, {3, 3}, {125, 8}}) {
        TStationUnderTest s(static_cast<std::uint8_t>(address), modules);
        s.StartUp(modules);
        ASSERT_EQ(s.station.Dp().State(), TSlaveState::DataExchange) << address;
        const auto reply = s.station.Dp().Handle(
            Parse(DataExchange(static_cast<std::uint8_t>(address), Outputs(modules))), s.now + Millis(100));
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->size(), 8u + 16u * static_cast<unsigned>(modules) + 9u) << modules;
        EXPECT_EQ((*reply)[4], 0x00);
        EXPECT_EQ((*reply)[5], address);
        EXPECT_EQ((*reply)[6], 0x08);
        // Another station's requests are not answered.
        EXPECT_FALSE(
            s.station.Dp().Handle(Parse(SlaveDiag(static_cast<std::uint8_t>(address + 1))), s.now).has_value());
    }
}

TEST(DpSlave, RefusesAConfigurationForAnotherModuleCount)
{
    TStationUnderTest s(3, 2);
    s.StartUp(1);  // a master set up for one module
    EXPECT_EQ(s.station.Dp().State(), TSlaveState::WaitPrm);
    // Configuration fault, not ready, parameters requested again.
    EXPECT_EQ(s.Diagnosis(), " 06 05 00 00 09 C5");
    EXPECT_EQ(s.Send(DataExchange(3, Outputs(1)), Millis(1000)), " 10 00 03 03 06 16");

    s.StartUp(2, Millis(2000));  // the right count clears the fault
    EXPECT_EQ(s.station.Dp().State(), TSlaveState::DataExchange);
    EXPECT_EQ(s.Diagnosis(), " 00 0C 00 00 09 C5");
}

TEST(DpSlave, ReportsAParameterFaultForAForeignIdentNumber)
{
    TStationUnderTest s;
    EXPECT_EQ(s.Send(SetPrm(3, 1, 0x1234), Millis(0)), " E5");
    EXPECT_EQ(s.station.Dp().State(), TSlaveState::WaitPrm);
    EXPECT_EQ(s.Diagnosis(), " 42 05 00 FF 09 C5");
    EXPECT_EQ(s.Send(ChkCfg(3, 1), Millis(100)), " E5");  // ignored while parameters are awaited
    EXPECT_EQ(s.station.Dp().State(), TSlaveState::WaitPrm);
    EXPECT_EQ(s.Send(SetPrm(3, 1), Millis(200)), " E5");
    EXPECT_EQ(s.Diagnosis(), " 02 0C 00 00 09 C5");
}

TEST(DpSlave, WatchdogSendsASilentMastersStationBackToWaitingForParameters)
{
    TStationUnderTest s;
    s.StartUp(1);  // last telegram at 400 ms
    auto& dp = s.station.Dp();
    ASSERT_EQ(dp.WatchdogDeadline(), SimTime{} + Millis(400 + 2560));
    EXPECT_FALSE(s.Send(DataExchange(3, Outputs(1)), Millis(2900)).empty());  // resets the watchdog
    dp.CheckWatchdog(SimTime{} + Millis(2900 + 2560));
    EXPECT_EQ(dp.State(), TSlaveState::DataExchange);
    dp.CheckWatchdog(SimTime{} + Millis(2900 + 2561));
    EXPECT_EQ(dp.State(), TSlaveState::WaitPrm);
    EXPECT_FALSE(dp.WatchdogDeadline().has_value());
    EXPECT_EQ(s.Diagnosis(), " 02 05 00 FF 09 C5");
    // Expiry noticed when the next telegram arrives, too.
    s.StartUp(1, Millis(10000));
    EXPECT_EQ(s.Send(DataExchange(3, Outputs(1)), Millis(20000)), " 10 00 03 03 06 16");
}

TEST(DpSlave, FallsBackOnOutputDataOfTheWrongLength)
{
    TStationUnderTest s;
    s.StartUp(1);
    EXPECT_EQ(s.Send(DataExchange(3, Outputs(2)), Millis(500)), " 10 00 03 03 06 16");
    EXPECT_EQ(s.station.Dp().State(), TSlaveState::WaitPrm);
}

TEST(DpSlave, ArbitraryRequestsNeverBreakTheStation)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 40);
    TStationUnderTest s(3, 2);
    for (int i = 0; i < 5000; ++i) {
        TByteString data;
        for (int n = length(random); n > 0; --n) data.Append(static_cast<std::uint8_t>(byte(random)));
        const std::uint8_t sap = static_cast<std::uint8_t>(56 + byte(random) % 8);
        const TByteString telegram =
            byte(random) < 128 ? SapRequest(3, byte(random) < 200 ? 0x6D : 0x46, sap, data) : DataExchange(3, data);
        s.station.Dp().Handle(Parse(telegram), SimTime{} + Millis(i));
    }
    s.StartUp(2, Millis(6000));
    EXPECT_EQ(s.station.Dp().State(), TSlaveState::DataExchange);
}

// FCV set with the master's last FCB is a repeat: the last answer again,
// nothing acted on; a toggled FCB or FCV clear is a new request. The
// start-up's requests carry FCB=1 with FCV clear.
TEST(DpSlave, RepeatedFrameCountGetsTheLastAnswerWithoutActingAgain)
{
    TStationUnderTest s;
    s.StartUp(1);
    const struct {
        std::uint8_t fc;
        bool repeat;
    } rows[] = {{0x5D, false}, {0x5D, true}, {0x7D, false}, {0x7D, true}, {0x6D, false}, {0x6D, false}};
    std::string last;
    long long repeats = 0;
    int at = 500;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fc);
        const std::string reply =
            s.Send(sim::BuildSd2(3, 0x00, row.fc, std::nullopt, std::nullopt, Outputs(1)), Millis(at += 100));
        repeats += row.repeat;
        EXPECT_EQ(s.station.Dp().Repeats(), repeats);
        if (row.repeat) {
            EXPECT_EQ(reply, last);
        }
        last = reply;
    }
}
