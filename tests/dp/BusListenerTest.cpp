// The passive decoder on frames built with the FDL framing: pairing answers
// with requests, per-station counters, the weighing layout, the token.
#include "dp/BusListener.h"
#include "dp/Telegram.h"
#include "fdl/Framing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;
using buslisten::Clock;
using buslisten::TRole;

constexpr std::uint8_t Plc = 2;
constexpr std::uint8_t Scale = 3;
constexpr std::uint8_t Ext = fdl::ExtensionBit;

// 68 LE LE 68 DA SA FC [DSAP SSAP] DU FCS 16.
TByteString Sd2(std::uint8_t da, std::uint8_t sa, std::uint8_t fc, const TByteString& du)
{
    TByteString body{da, sa, fc};
    body += du;
    const auto le = static_cast<std::uint8_t>(body.size());
    TByteString t{fdl::SD2, le, le, fdl::SD2};
    t += body;
    t.Append(fdl::Sum8(body.data(), body.size()));
    t.Append(fdl::ED);
    return t;
}

TByteString SapRequest(std::uint8_t dsap, const TByteString& data)
{
    return Sd2(Scale | Ext, Plc | Ext, 0x6D, TByteString{dsap, 62} + data);
}

TByteString Exchange(std::uint8_t fc, std::size_t outputs)
{
    return Sd2(Scale, Plc, fc, TByteString::Filled(outputs, 0x11));
}
TByteString ExchangeAnswer(std::size_t inputs) { return Sd2(Plc, Scale, 0x08, TByteString::Filled(inputs, 0x22)); }

struct ListenerTest : ::testing::Test {
    void Hear(const std::vector<TByteString>& telegrams)
    {
        for (const TByteString& t : telegrams) {
            at += 5ms;
            listener.Feed(t, at);
        }
    }
    const buslisten::TStation& Station(std::uint8_t a) { return listener.Stations().at(a); }

    buslisten::TBusListener listener;
    Clock::time_point at = Clock::now();
};

TEST_F(ListenerTest, StartUpAndCycleOfAWeighingSlave)
{
    const TByteString diagAnswer = Sd2(Plc | Ext, Scale | Ext, 0x08, {62, 60, 0x02, 0x05, 0x00, 0xFF, 0x09, 0xC5});
    Hear({SapRequest(60, {}),
          diagAnswer,
          SapRequest(61, telegram::SetPrmData(2)),
          {fdl::SC},
          SapRequest(62, telegram::ChkCfgData(2)),
          {fdl::SC},
          Exchange(0x7D, 10),
          ExchangeAnswer(40),
          Exchange(0x5D, 10),
          ExchangeAnswer(40)});
    const auto& plc = Station(Plc);
    const auto& scale = Station(Scale);
    EXPECT_EQ(plc.role, TRole::Master);
    EXPECT_EQ(plc.requests, 5u);
    EXPECT_EQ(scale.role, TRole::Slave);
    EXPECT_EQ(scale.answers, 5u);
    EXPECT_EQ(scale.unanswered + scale.repeats, 0u);
    EXPECT_EQ(scale.modules, 2);
    EXPECT_EQ(scale.setPrm, telegram::SetPrmData(2));
    ASSERT_TRUE(scale.diagnosis);
    EXPECT_EQ(scale.diagnosis->ident, diag::wzmIdent);
    EXPECT_EQ(scale.inputs, ExchangeAnswer(40));
    EXPECT_EQ(scale.outputLength, 10u);
    EXPECT_EQ(scale.cycle, 10ms);
    EXPECT_EQ(scale.lastHeard, at);
}

TEST_F(ListenerTest, RepeatsSilenceAndBadFramesCountAgainstTheSlaveAwaited)
{
    TByteString broken = ExchangeAnswer(24);
    broken[broken.size() - 2] ^= 1;  // check sum
    // A request, a retry with the same FCB, no answer; a new FCB answered by a broken frame.
    Hear({Exchange(0x7D, 9), Exchange(0x7D, 9), Exchange(0x5D, 9), broken, Exchange(0x7D, 9), ExchangeAnswer(24)});
    const auto& scale = Station(Scale);
    EXPECT_EQ(scale.requests, 4u);
    EXPECT_EQ(scale.repeats, 1u);
    EXPECT_EQ(scale.unanswered, 3u);
    EXPECT_EQ(scale.bad[static_cast<std::size_t>(fdl::TFault::CheckSum)], 1u);
    EXPECT_EQ(scale.modules, 1);
    EXPECT_EQ(listener.Totals().bad[static_cast<std::size_t>(fdl::TFault::CheckSum)], 1u);
}

TEST_F(ListenerTest, LayoutsTokenAndStrayAnswers)
{
    // Lengths that are no weighing layout, a stray answer, two masters passing the token (DC DA SA).
    Hear({Exchange(0x7D, 4),
          ExchangeAnswer(4),
          ExchangeAnswer(4),
          {fdl::SD4, 1, Plc},
          {fdl::SD4, Plc, 1},
          {fdl::SD4, 1, Plc}});
    EXPECT_FALSE(Station(Scale).modules);
    EXPECT_EQ(Station(Scale).inputLength, 4u);
    EXPECT_EQ(listener.Totals().unpaired, 1u);
    EXPECT_EQ(Station(1).role, TRole::Master);
    EXPECT_EQ(Station(Plc).tokens, 2u);
    EXPECT_EQ(Station(Plc).rotation, 10ms);
}

}  // namespace
