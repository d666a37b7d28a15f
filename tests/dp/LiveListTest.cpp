// The live-list scan on a real pseudo-terminal, with the test playing the
// bus: stations that answer garbage, answers from another address, a
// request of another master, another master's token, a master, a slave
// without DP diagnosis, one that does not answer Slave_Diag, a configuration
// that is no WZM's, and a port that vanishes in the middle. A silent address
// is asked twice.
#include "tests/support/Hex.h"
#include "tests/support/LinkedPorts.h"
#include "dp/LiveList.h"
#include "fdl/Framing.h"
#include "fdl/LineTiming.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// A telegram from its header and body: the check sum and end delimiter added.
TByteString Frame(const std::string& head, const std::string& body)
{
    const TByteString b = BytesFromHex(body);
    TByteString t = BytesFromHex(head) + b;
    t.Append(fdl::Sum8(b.data(), b.size()));
    t.Append(0x16);
    return t;
}

// What the stations of this bus answer to a request.
TByteString Answer(const TByteString& request)
{
    if (request[0] == 0x10) {
        switch (request[1]) {
        case 4: return BytesFromHex("FF 68 00 13");                        // garbage
        case 5: return Frame("10", "00 06 00") + Frame("10", "00 05 00");  // first an answer from 6
        case 7: return Frame("10", "00 07 49");                            // a request of master 7: no answer
        case 8: return BytesFromHex("DC 28 1E");                           // master 30 passes the token to 40
        case 9: return Frame("10", "00 09 30");                            // a master in the token ring
        case 10: return Frame("10", "00 0A 00");                           // a slave that refuses Slave_Diag
        case 11: return Frame("10", "00 0B 00");                           // a slave that gives no diagnosis
        default: return {};
        }
    }
    if (request.size() >= 9 && request[4] == 0x8A) return Frame("10", "00 0A 03");  // RS: no DP service
    if (request.size() < 9 || request[4] != 0x85) return {};
    if (request[7] == 0x3C) return Frame("68 0B 0B 68", "80 85 08 3E 3C 02 05 00 FF 09 C5");
    if (request[7] == 0x3B) return Frame("68 07 07 68", "80 85 08 3E 3B 13 23");
    return {};
}

// A request the scan wrote, read as soon as it is there (it comes in one write).
TByteString ReadRequest(const PtyPair& pty)
{
    pollfd p{pty.master, POLLIN, 0};
    std::uint8_t buffer[64];
    if (poll(&p, 1, 5) <= 0) return {};
    const ssize_t n = read(pty.master, buffer, sizeof buffer);
    return n > 0 ? TByteString(buffer, static_cast<std::size_t>(n)) : TByteString();
}

// Answers `request` no sooner than the line could carry request and answer:
// an earlier answer is late, and the master drops it.
void AnswerFar(const PtyPair& far, const TByteString& request, const TByteString& answer)
{
    std::this_thread::sleep_for(fdl::EarliestAnswer(request.size(), answer.size(), 19200));
    WriteFar(far, answer);
}

}  // namespace

TEST(LiveList, ListsWhoAnswersIgnoresTheRestAndEndsWhenThePortVanishes)
{
    LinkedPorts ports;
    const PtyPair* far = &ports.Add(1);
    T_DPV0 master(nullptr, std::make_unique<TManualTimer>());
    auto& timer = static_cast<TManualTimer&>(master.CommUnit().PollTimer());
    master.CommUnit().Port().SetPromptForPort(false);
    master.CommUnit().OpenAndPoll(1);

    TLiveListScan scan(master);
    std::vector<std::string> found;
    std::optional<std::string> done;
    scan.SetOnFound([&](const TStationFound& s) { found.push_back(StationLine(s)); });
    scan.SetOnDone([&](const std::string& error) { done = error; });
    std::string error;
    master.StartMaster();
    EXPECT_FALSE(scan.Start(error));
    EXPECT_EQ(error, "Stop the link before looking for stations");
    master.StopMaster();
    ASSERT_TRUE(scan.Start(error)) << error;

    std::vector<TByteString> requests;
    for (int polls = 0; !done && polls < 500; ++polls) {
        const TByteString request = far ? ReadRequest(*far) : TByteString();
        const TByteString answer = request.empty() ? TByteString() : Answer(request);
        if (!request.empty()) requests.push_back(request);
        if (request == telegram::FdlStatusTelegram(12)) {
            ports.Remove(1);
            far = nullptr;
        } else if (!answer.empty()) {
            AnswerFar(*far, request, answer);
            // The next poll finds the answer however slowly the port's threads run.
            ASSERT_TRUE(WaitUntil([&] { return master.CommUnit().Port().InputAvailable(); }));
        } else {
            std::this_thread::sleep_for(10ms);
        }
        timer.Fire();
    }
    ASSERT_TRUE(done);
    EXPECT_EQ(done->rfind("The port vanished during the scan", 0), 0u) << *done;
    EXPECT_EQ(found, (std::vector<std::string>{
                         "station 5 slave ident 09C5 config 13 23 modules not a WZM configuration", "station 30 master",
                         "station 9 master", "station 10 passive", "station 11 slave, no answer to Slave_Diag"}));
    for (const TByteString& r : requests)  // FDL_Status, Slave_Diag and Get_Cfg only
        EXPECT_TRUE(r[0] == 0x10 || (r.size() == 11 && (r[7] == 0x3C || r[7] == 0x3B))) << HexFromBytes(r);
    EXPECT_EQ(requests.front(), telegram::FdlStatusTelegram(1));
    EXPECT_EQ(std::count(requests.begin(), requests.end(), telegram::FdlStatusTelegram(2)), 2);
    EXPECT_FALSE(scan.Running());
    timer.Fire();  // the channel polls again
}

// A slave whose diagnosis comes after the request's slot time (an adapter
// that delays both ways more than the allowance): a retry sent into the late
// answer would garble it and go unheard, and the first scan in a window once
// listed such a slave as passive. The scan waits for the late answer.
TEST(LiveList, LateDiagnosisIsWaitedForNotAskedInto)
{
    LinkedPorts ports;
    const PtyPair* far = &ports.Add(1);
    T_DPV0 master(nullptr, std::make_unique<TManualTimer>());
    auto& timer = static_cast<TManualTimer&>(master.CommUnit().PollTimer());
    master.CommUnit().Port().SetPromptForPort(false);
    master.CommUnit().OpenAndPoll(1);
    master.CommUnit().SetAdapterAllowance(100);
    TLiveListScan scan(master);
    std::vector<std::string> found;
    std::optional<std::string> done;
    scan.SetOnFound([&](const TStationFound& s) { found.push_back(StationLine(s)); });
    scan.SetOnDone([&](const std::string& error) { done = error; });
    std::string error;
    ASSERT_TRUE(scan.Start(error)) << error;

    const auto late = fdl::SlotTime(11, 17, 19200, 100ms) + 30ms;
    bool lateSent = false;
    for (int polls = 0; !done && polls < 500; ++polls) {
        const TByteString request = far ? ReadRequest(*far) : TByteString();
        if (request == telegram::FdlStatusTelegram(2)) {
            ports.Remove(1);
            far = nullptr;
        } else if (request == telegram::FdlStatusTelegram(1)) {
            AnswerFar(*far, request, Frame("10", "00 01 00"));
        } else if (request.size() == 11 && request[7] == 0x3C) {
            TByteString answer = Frame("68 0B 0B 68", "80 81 08 3E 3C 02 05 00 FF 09 C5");
            if (!lateSent) {
                // The answer comes late; a request meanwhile collides with it.
                lateSent = true;
                const auto due = std::chrono::steady_clock::now() + late;
                bool collided = false;
                while (std::chrono::steady_clock::now() < due) {
                    timer.Fire();
                    collided = collided || !ReadRequest(*far).empty();
                }
                if (collided) answer[answer.size() - 2] ^= 0xFF;
            }
            AnswerFar(*far, request, answer);
        } else if (request.size() == 11 && request[7] == 0x3B) {
            AnswerFar(*far, request, Frame("68 0A 0A 68", "80 81 08 3E 3B C0 07 07 20 1F"));
        } else {
            std::this_thread::sleep_for(2ms);
        }
        timer.Fire();
    }
    ASSERT_TRUE(done);
    EXPECT_EQ(found, (std::vector<std::string>{"station 1 slave ident 09C5 config C0 07 07 20 1F modules 1"}));
}
