// The shipped Wireshark dissector on a trace of the frames the master meets
// besides its own SD1/SD2 exchange: an SD3 answer, another master's token
// (SD4) and request, and an answer dropped for a parity error; tshark
// decodes it as the tests of the whole link do.
#include "tests/support/ChildProcess.h"
#include "tests/support/Hex.h"
#include "tests/support/TempFolder.h"
#include "trace/TraceRecorder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

using namespace std::chrono_literals;

}  // namespace

TEST(Dissector, KnowsSd3AndTheTokenAndNamesAnotherMaster)
{
    const std::string tshark = FindProgram("tshark");
    if (tshark.empty()) GTEST_SKIP() << "tshark is not installed (scripts/setup.sh installs it)";
    TempFolder folder;
    const std::string trace = folder.str() + "/frames.pcapng";
    TTraceRecorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.Start(trace, error)) << error;
    const struct {
        pcapng::Direction direction;
        const char* bytes;
        const char* comment;
    } packets[] = {
        {pcapng::Direction::Outbound, "68 05 05 68 83 80 6D 3C 3E EA 16", ""},
        {pcapng::Direction::Inbound, "A2 80 83 08 3E 3C 02 05 00 FF 09 C5 59 16", ""},
        {pcapng::Direction::Inbound, "DC 0A 02", ""},
        {pcapng::Direction::Inbound, "10 05 02 49 50 16", ""},
        {pcapng::Direction::Inbound, "68 05 05 68 00 03 08 01 02 0E 16", "dropped: a character with a parity error"},
    };
    std::uint64_t at = 1'700'000'000'000'000'000;
    for (const auto& p : packets) {
        const TByteString b = BytesFromHex(p.bytes);
        recorder.Record(p.direction, b.data(), b.size(), p.comment, at += 1'000'000);
    }
    ASSERT_EQ(recorder.Stop(), "");

    ChildProcess list(tshark, {"-X", "lua_script:" + std::string(QUORVEL_DISSECTOR), "-r", trace});
    ASSERT_EQ(list.Wait(60s), 0) << list.Errors();
    const auto lines = list.Lines();
    ASSERT_EQ(lines.size(), 5u) << list.Errors();
    const char* expected[] = {
        "M->S 0->3 Slave_Diag request",
        "S->M 3->0 Slave_Diag response [Station_Not_Ready Prm_Req] master 255 Ident 09C5",
        "S->M SD4 token 2->10 (another master)",
        "S->M 2->5 FDL_Status request (another master)",
        "S->M Dropped 11 byte(s): a character with a parity error",
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].text.find(expected[i]), std::string::npos) << lines[i].text;
        EXPECT_EQ(lines[i].text.find("Malformed"), std::string::npos) << lines[i].text;
    }
    EXPECT_NE(lines[2].text.find("Master 2"), std::string::npos) << lines[2].text;  // the source column
    EXPECT_NE(lines[3].text.find("Master 2"), std::string::npos) << lines[3].text;
}
