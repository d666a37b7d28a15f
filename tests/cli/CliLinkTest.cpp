// quorvel-cli against the real quorvel-slave process on a pseudo-terminal:
// start-up, cyclic data, a slave that goes away and comes back, a slave that
// refuses the configuration, the command line's refusals, and a recorded
// trace as tshark decodes it with the shipped dissector, and the weight log.
#include "tests/support/ChildProcess.h"
#include "tests/support/LinkedPorts.h"
#include "tests/support/SlaveCounts.h"
#include "core/ParameterBackup.h"
#include "module/core/ConfigFile.h"
#include "module/core/PageLayout.h"
#include "serial/PortDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <functional>
#include <sys/file.h>
#include <sys/resource.h>

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<ChildProcess::Line>;

const std::string slaveProgram = QUORVEL_SLAVE_EXE;
const std::string cliProgram = QUORVEL_CLI_PROGRAM;
const std::string dissector = QUORVEL_DISSECTOR;

// The fields of "WZM k gross G net N qualifier QQQQ limit LL status SS SS
// manufacturer MM MM MM"; false for a line of any other shape.
struct ModuleLine {
    int k = -1;
    std::string gross, net, qualifier, limit, status, manufacturer;
};

bool IsHex(const std::string& s, std::size_t digits)
{
    return s.size() == digits && s.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

bool IsWeight(const std::string& s)
{
    const std::size_t dot = s.find('.');
    const std::size_t first = !s.empty() && s[0] == '-' ? 1 : 0;
    return dot != std::string::npos && dot > first && s.size() == dot + 4 &&
           s.find_first_not_of("0123456789", first) == dot &&
           s.find_first_not_of("0123456789", dot + 1) == std::string::npos;
}

bool ParseModuleLine(const std::string& text, ModuleLine& m)
{
    std::istringstream in(text);
    std::vector<std::string> t;
    for (std::string word; in >> word;) t.push_back(word);
    if (t.size() != 17 || t[0] != "WZM" || t[2] != "gross" || t[4] != "net" || t[6] != "qualifier" || t[8] != "limit" ||
        t[10] != "status" || t[13] != "manufacturer")
        return false;
    if (t[1].size() != 1 || !std::isdigit(static_cast<unsigned char>(t[1][0])) || !IsWeight(t[3]) || !IsWeight(t[5]) ||
        !IsHex(t[7], 4) || !IsHex(t[9], 2))
        return false;
    for (std::size_t i : {11, 12, 14, 15, 16})
        if (!IsHex(t[i], 2)) return false;
    m = {t[1][0] - '0', t[3], t[5], t[7], t[9], t[11] + " " + t[12], t[14] + " " + t[15] + " " + t[16]};
    // Single spaces only, nothing before or after.
    return text == "WZM " + t[1] + " gross " + m.gross + " net " + m.net + " qualifier " + m.qualifier + " limit " +
                       m.limit + " status " + m.status + " manufacturer " + m.manufacturer;
}

class CliLinkTest : public ::testing::Test {
protected:
    // quorvel-slave serving COM<com>, once its link is in place.
    std::unique_ptr<ChildProcess> StartSlave(int com, int modules, const std::vector<std::string>& more = {})
    {
        std::vector<std::string> args{"--modules", std::to_string(modules)};
        args.insert(args.end(), more.begin(), more.end());
        return StartSlave(com, args);
    }
    std::unique_ptr<ChildProcess> StartSlave(int com, std::vector<std::string> args)
    {
        for (const char* a : {"--quiet", "--com"}) args.push_back(a);
        args.push_back(std::to_string(com));
        auto slave = std::make_unique<ChildProcess>(slaveProgram, args);
        const std::string link = portdir::LinkPath(com);
        EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(link); }, 5000ms)) << slave->Errors();
        return slave;
    }
    std::unique_ptr<ChildProcess> StartCli(std::vector<std::string> args)
    {
        return std::make_unique<ChildProcess>(cliProgram, args);
    }

    LinkedPorts env;  // private port directory, no real serial devices
};

// The lines from `from` on that are not module lines.
std::vector<std::string> StatusLines(const Lines& lines, std::size_t from = 0)
{
    std::vector<std::string> texts;
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].text.rfind("WZM ", 0) != 0 && lines[i].text.rfind("stats ", 0) != 0 &&
            lines[i].text.rfind("timing ", 0) != 0)
            texts.push_back(lines[i].text);
    return texts;
}

// Works in `folder` while it lives: the program looks for Quorvel.conf there first.
struct Cwd {
    explicit Cwd(const std::filesystem::path& folder) { std::filesystem::current_path(folder); }
    ~Cwd() { std::filesystem::current_path(before); }
    std::filesystem::path before = std::filesystem::current_path();
};

// The counters quorvel-cli --stats prints at exit.
std::string ExitCounters(const Lines& lines)
{
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (it->text.rfind("stats ", 0) == 0) return it->text;
    return {};
}

class CliExchangeTest : public CliLinkTest, public ::testing::WithParamInterface<int> {};

}  // namespace

TEST_P(CliExchangeTest, ConnectsAndExchangesCleanDataForHalfAMinute)
{
    const int modules = GetParam();
    auto slave = StartSlave(2, modules);
    auto cli = StartCli({"--com", "2", "--addr", "3", "--modules", std::to_string(modules), "--seconds", "31"});
    EXPECT_EQ(cli->Wait(45s), 0) << cli->Errors();
    const Lines lines = cli->Lines();

    std::size_t connected = 0;
    while (connected < lines.size() && lines[connected].text != "Connected") ++connected;
    ASSERT_LT(connected, lines.size()) << cli->Errors();
    EXPECT_EQ(StatusLines(lines),
              (std::vector<std::string>{"Connecting", "Parameterization", "Configurating", "Connected"}));

    // After "Connected" only complete responses: modules 0..n-1 in order, the
    // values of the simulated modules (load 60 + 25 k kg, no tare, "WZ" k).
    std::size_t responses = 0;
    for (std::size_t i = connected + 1; i < lines.size(); ++i) {
        ModuleLine m;
        ASSERT_TRUE(ParseModuleLine(lines[i].text, m)) << "garbled line " << i << ": " << lines[i].text;
        ASSERT_EQ(m.k, static_cast<int>((i - connected - 1) % modules)) << lines[i].text;
        if (m.k == 0) ++responses;
        EXPECT_NEAR(std::stod(m.gross), 60.0 + 25.0 * m.k, 1.0) << lines[i].text;
        EXPECT_EQ(m.net, m.gross) << lines[i].text;
        EXPECT_EQ(std::stoi(m.qualifier, nullptr, 16) & 1, 1) << "qualifier not valid: " << lines[i].text;
        EXPECT_EQ(m.manufacturer, "57 5A 0" + std::to_string(m.k)) << lines[i].text;
    }
    EXPECT_EQ((lines.size() - connected - 1) % modules, 0u);
    // Every cycle a response (how many a second is the bench's figure).
    EXPECT_GT(responses, 10u);
}

INSTANTIATE_TEST_SUITE_P(Modules, CliExchangeTest, ::testing::Values(1, 8));

TEST_F(CliLinkTest, AnswerWithAWrongCheckSumCostsOneCycleAndNoStatusChange)
{
    auto slave = StartSlave(2, 1, {"--fault", "fcs@20"});
    auto cli = StartCli({"--com", "2", "--seconds", "6", "--stats"});
    EXPECT_EQ(cli->Wait(20s), 0) << cli->Errors();
    const Lines said = slave->Lines();
    EXPECT_TRUE(std::any_of(said.begin(), said.end(), [](const auto& line) {
        return line.text.find(" UTC fault fcs on Data_Exchange answer 20") != std::string::npos;
    }));
    const Lines lines = cli->Lines();
    EXPECT_EQ(StatusLines(lines),
              (std::vector<std::string>{"Connecting", "Parameterization", "Configurating", "Connected"}));
    // The counters at exit name the bad answer (how long the gap was is the
    // bench's figure); the timing follows them.
    ASSERT_GE(lines.size(), 2u);
    const std::string counters = ExitCounters(lines);
    EXPECT_NE(counters.find(" bad 1 (check sum 1 "), std::string::npos) << counters;
    EXPECT_NE(counters.find(" noise 0 "), std::string::npos) << counters;
    EXPECT_EQ(lines.back().text.rfind("timing connected after ", 0), 0u) << lines.back().text;
}

// A slave may answer a data unit of 8 octets (its diagnosis) as SD3: the
// master takes it where it takes the SD2 and connects.
TEST_F(CliLinkTest, SlaveAnsweringItsDiagnosisAsSd3IsConnected)
{
    auto slave = StartSlave(2, 1, {"--sd3"});
    auto cli = StartCli({"--com", "2", "--seconds", "8", "--stats"});
    EXPECT_EQ(cli->Wait(30s), 0) << cli->Errors();
    const Lines lines = cli->Lines();
    EXPECT_EQ(StatusLines(lines),
              (std::vector<std::string>{"Connecting", "Parameterization", "Configurating", "Connected"}));
    ASSERT_GE(lines.size(), 2u);
    // An SD3 misread would be counted corrupt; a loaded machine may still time out a piece.
    EXPECT_NE(lines[lines.size() - 2].text.find("(check sum 0 length 0 end byte 0 "), std::string::npos)
        << lines[lines.size() - 2].text;
}

// An adapter that hands over 68 LE alone, and the rest of the answer 25 ms
// later: the length byte gave the answer its time, nothing is lost.
TEST_F(CliLinkTest, PauseAfterTheHeadsFirstBytesLosesNoAnswer)
{
    auto slave = StartSlave(2, 8, {"--fault", "pause=25@10"});
    auto cli = StartCli({"--com", "2", "--modules", "8", "--seconds", "4", "--stats"});
    EXPECT_EQ(cli->Wait(15s), 0) << cli->Errors();
    EXPECT_NE(slave->WaitForOutput(" UTC fault pause of 25 ms").find("on Data_Exchange answer 10"), std::string::npos);
    const Lines lines = cli->Lines();
    ASSERT_GE(lines.size(), 2u);
    const std::string& counters = lines[lines.size() - 2].text;
    EXPECT_NE(counters.find(" bad 0 "), std::string::npos) << counters;
    EXPECT_NE(counters.find(" noise 0 "), std::string::npos) << counters;
}

// A character with a parity error, its value unchanged (so the check sum
// holds): the driver marks it, the answer is dropped, counted and traced.
TEST_F(CliLinkTest, AnswerHoldingACharacterWithAParityErrorIsDroppedCountedAndTraced)
{
    TempFolder folder;
    const std::string trace = folder.str() + "/parity.pcapng";
    auto slave = StartSlave(2, 1, {"--fault", "parity@10"});
    auto cli = StartCli({"--com", "2", "--seconds", "8", "--stats", "--trace", trace});
    EXPECT_EQ(cli->Wait(30s), 0) << cli->Errors();
    const Lines lines = cli->Lines();
    ASSERT_GE(lines.size(), 2u);
    const std::string& counters = lines[lines.size() - 2].text;
    EXPECT_NE(counters.find("(check sum 0 length 0 end byte 0 "), std::string::npos) << counters;
    EXPECT_NE(counters.find(" parity 1) "), std::string::npos) << counters;
    std::ifstream in(trace, std::ios::binary);
    const std::string recorded((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(recorded.find("dropped: a character with a parity error"), std::string::npos);
}

TEST_F(CliLinkTest, ReportsASlaveThatWentAwayAndPicksUpItsReturn)
{
    auto slave = StartSlave(2, 1);
    auto cli = StartCli({"--com", "2"});
    const auto connected = cli->WaitForLine("Connected", 30s);
    ASSERT_TRUE(connected) << cli->Errors();
    ASSERT_TRUE(cli->WaitForLine("WZM 0 ", 10s, *connected, true));

    // The simulator's line is its device: it goes with it and is waited for.
    const std::string port = "Port COM2 (" + portdir::LinkPath(2) + ")";
    slave->Signal(SIGTERM);
    EXPECT_EQ(slave->Wait(30s), 0);
    const auto lost = cli->WaitForLine(port + " lost, waiting for it", 30s, *connected);
    ASSERT_TRUE(lost);

    slave = StartSlave(2, 1);
    const auto back = cli->WaitForLine(port + " is back", 30s, *lost);
    ASSERT_TRUE(back) << cli->Errors();
    EXPECT_EQ(*back, *lost + 1);  // said once, and nothing else meanwhile
    const auto again = cli->WaitForLine("Connected", 30s, *back);
    ASSERT_TRUE(again) << cli->Errors();
    EXPECT_TRUE(cli->WaitForLine("WZM 0 ", 10s, *again, true));

    cli->Signal(SIGINT);
    EXPECT_EQ(cli->Wait(30s), 0);
    EXPECT_EQ(cli->Errors().find("rror"), std::string::npos) << cli->Errors();
}

// Random bytes on the line are no answer: the silent-slave count runs on
// through them, and values come back once the line is quiet again.
TEST_F(CliLinkTest, FloodOfNoiseIsNoAnswerFromTheSlave)
{
    auto slave = StartSlave(2, 1, {"--fault", "flood=5@20"});
    auto cli = StartCli({"--com", "2"});
    const auto connected = cli->WaitForLine("Connected", 30s);
    ASSERT_TRUE(connected) << cli->Errors();
    const auto silent = cli->WaitForLine("No answer from slave", 30s, *connected);
    ASSERT_TRUE(silent) << cli->Errors();
    const auto again = cli->WaitForLine("Connected", 30s, *silent);
    ASSERT_TRUE(again) << cli->Errors();
    EXPECT_TRUE(cli->WaitForLine("WZM 0 ", 10s, *again, true));
    cli->Signal(SIGINT);
    EXPECT_EQ(cli->Wait(30s), 0);
}

TEST_F(CliLinkTest, SlaveWithOtherModuleCountRefusesTheMasterWhichSaysWhyOnce)
{
    auto slave = StartSlave(2, 2);
    auto cli = StartCli({"--com", "2", "--modules", "1", "--seconds", "4"});
    EXPECT_EQ(cli->Wait(30s), 1);
    int said = 0;
    for (const auto& line : cli->Lines()) {
        EXPECT_NE(line.text.rfind("WZM ", 0), 0u) << line.text;
        said += line.text == "Slave 3 refused the configuration: WZM count is 1, the slave has 2 modules";
    }
    EXPECT_EQ(said, 1);
    EXPECT_EQ(slave->Wait(0s), std::nullopt);  // the slave is still serving
}

TEST_F(CliLinkTest, LiveListShowsExactlyTheStationsOnTheLine)
{
    TempFolder folder;
    const std::string trace = folder.str() + "/scan.pcapng";
    auto slave = StartSlave(2, {"--station", "3:2", "--station", "7:8", "--station", "20:1"});
    auto cli = StartCli({"--com", "2", "--live-list", "--diag", "--trace", trace});
    EXPECT_EQ(cli->Wait(40s), 0) << cli->Errors();
    EXPECT_GT(std::filesystem::file_size(trace), 126u * 2 * 40);  // each address asked: the scan is recorded
    std::vector<std::string> texts;
    for (const auto& line : cli->Lines()) texts.push_back(line.text);
    const std::string idle = "master - ident 09C5 flags Station_Not_Ready,Prm_Req ext -";
    EXPECT_EQ(
        texts,
        (std::vector<std::string>{
            "station 3 slave ident 09C5 config C0 07 07 20 1F 20 1F modules 2",
            "diag station 3 " + idle,
            "station 7 slave ident 09C5 config C0 07 07 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F modules 8",
            "diag station 7 " + idle,
            "station 20 slave ident 09C5 config C0 07 07 20 1F modules 1",
            "diag station 20 " + idle,
        }));

    // Nobody on the line: exit 1.
    env.Add(4);
    auto empty = StartCli({"--com", "4", "--live-list"});
    EXPECT_EQ(empty->Wait(40s), 1) << empty->Errors();
    EXPECT_TRUE(empty->Lines().empty());
}

// Behind an adapter that delays both ways (16 ms, more than the allowance
// covers), an answer now and then comes after its slot time: the scan waits
// for it and asks again only on a quiet line, so each station it lists is
// listed as it is, never in a role it did not give (a first scan once listed
// station 7 as passive: the retry went into its late diagnosis).
TEST_F(CliLinkTest, LiveListBehindASlowAdapterListsEachStationAsItIs)
{
    auto slave = StartSlave(
        2, {"--station", "3:2", "--station", "7:8", "--station", "20:1", "--adapter-latency", "16", "--seed", "5"});
    const std::map<std::string, std::string> stations = {
        {"3", "station 3 slave ident 09C5 config C0 07 07 20 1F 20 1F modules 2"},
        {"7", "station 7 slave ident 09C5 config C0 07 07 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F 20 1F modules 8"},
        {"20", "station 20 slave ident 09C5 config C0 07 07 20 1F modules 1"}};
    for (int scan = 0; scan < 2; ++scan) {
        auto cli = StartCli({"--com", "2", "--live-list"});
        EXPECT_EQ(cli->Wait(40s), 0) << cli->Errors();
        const Lines lines = cli->Lines();
        EXPECT_FALSE(lines.empty());
        for (const auto& line : lines) {
            std::istringstream words(line.text);
            std::string station, address;
            words >> station >> address;
            const auto known = stations.find(address);
            ASSERT_NE(known, stations.end()) << line.text;
            EXPECT_EQ(line.text, known->second);
        }
    }
}

TEST_F(CliLinkTest, WrongOptionsAndPortsExitWithTwoAndAMessage)
{
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--com", "9"}, "COM9 does not exist; there is no COM port"},
        {{"--addr", "127"}, "--addr must be a PROFIBUS address from 0 to 126 (got '127')"},
        {{"--modules", "0"}, "--modules must be a number of modules from 1 to 8 (got '0')"},
        {{"--modules", "9"}, "--modules must be a number of modules from 1 to 8 (got '9')"},
        {{"--com", "x"}, "--com must be a port number from 1 to 255 (got 'x')"},
        {{}, "no COM port opens"},
        {{"--live-list", "--diag"}, "no COM port opens"},
        {{"--backup", "b.txt"}, "--module K goes with --backup FILE, --restore FILE or --calibrate-check KG"},
        {{"--module", "1", "--restore", "b.txt"}, "--module 1 is not among the 1 module(s) of --modules"},
        {{"--weights", "/nonexistent/w.csv"}, "cannot write /nonexistent/w.csv: No such file or directory"},
        {{"--trace", "/dev/null"}, "--trace: cannot write /dev/null: it is a device or other special file"},
        {{"--weights", "/tmp"}, "--weights: cannot write /tmp: it is a folder"},
        {{"--trace", "/dev/stdout"}, "--trace: cannot write /dev/stdout: it is a symbolic link"},
        {{"--trace", "w.csv", "--weights", "./w.csv"}, "--trace and --weights name one file, w.csv"},
        {{"--all"}, "--all goes with --restore FILE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        auto cli = StartCli(c.args);
        EXPECT_EQ(cli->Wait(10s), 2);
        EXPECT_NE(cli->Errors().find(c.message), std::string::npos) << cli->Errors();
    }
}

// A weight log that stops on a full disk (a file size limit stands for it)
// leaves the link running and the run connected, but the status tells a
// script that its record is incomplete.
TEST_F(CliLinkTest, OutputFileThatStopsEarlyExitsWithThree)
{
    TempFolder folder;
    auto slave = StartSlave(2, 1);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const rlimit limit{1000, before.rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);  // the child inherits it
    auto cli = StartCli({"--com", "2", "--seconds", "4", "--weights", folder.str() + "/w.csv"});
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(cli->Wait(20s), 3) << cli->Errors();
    EXPECT_NE(cli->Errors().find("the weight log stopped after its last whole row"), std::string::npos)
        << cli->Errors();
}

// The port list names each port's device and what the system says of it; a
// port that does not exist is named with those that do, a link that points
// to nothing with its target.
TEST_F(CliLinkTest, ListsThePortsAndNamesThoseThereWhenOneIsNot)
{
    const std::string pts = env.Add(2).path;
    env.Link(5, "/nonexistent/ttyUSB9");
    env.AddDevice("ttyS4");
    auto list = StartCli({"--list-ports"});
    EXPECT_EQ(list->Wait(10s), 0) << list->Errors();
    std::vector<std::string> lines;
    for (const auto& line : list->Lines()) lines.push_back(line.text);
    ASSERT_EQ(lines.size(), 3u) << list->Output();
    EXPECT_EQ(lines[0].rfind("COM1 /dev/ttyS4: serial device, driver ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "COM2 " + portdir::LinkPath(2) + " -> " + pts + ": pseudo-terminal (a simulator's line)");
    EXPECT_EQ(lines[2], "COM5 " + portdir::LinkPath(5) + " -> /nonexistent/ttyUSB9");
    const struct {
        const char* com;
        std::string message;
    } rows[] = {
        {"9", "COM9 does not exist; the ports are COM1 (/dev/ttyS4), COM2 (link to " + pts +
                  "), COM5 (link to /nonexistent/ttyUSB9)\n"},
        {"5", "COM5 does not exist: " + portdir::LinkPath(5) + " points to /nonexistent/ttyUSB9, which is not there\n"},
    };
    for (const auto& row : rows) {
        auto cli = StartCli({"--com", row.com});
        EXPECT_EQ(cli->Wait(10s), 2);
        EXPECT_EQ(cli->Errors(), "quorvel-cli: " + row.message);
    }
}

TEST_F(CliLinkTest, PortHeldByAnotherProgramIsInUse)
{
    const PtyPair& pty = env.Add(4);
    const int held = open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    auto cli = StartCli({"--com", "4", "--seconds", "1"});
    EXPECT_EQ(cli->Wait(10s), 2);
    EXPECT_NE(cli->Errors().find("ie_Open - device already open"), std::string::npos) << cli->Errors();
    // The scan names it as busy instead of passing over it.
    auto scan = StartCli({"--seconds", "1"});
    EXPECT_EQ(scan->Wait(10s), 2);
    EXPECT_TRUE(scan->WaitForLine("COM4 (" + portdir::LinkPath(4) + ") is busy: another program has it open", 0s));
    close(held);
}

TEST_F(CliLinkTest, IgnoredPortFolderIsNamedWithItsReason)
{
    std::string message;
    ASSERT_TRUE(portdir::Ensure(message)) << message;
    std::filesystem::permissions(portdir::Path(), std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::add);
    auto cli = StartCli({"--seconds", "1"});
    EXPECT_EQ(cli->Wait(10s), 2);
    EXPECT_NE(cli->Errors().find("no COM port opens; Port directory " + portdir::Path() +
                                 " is writable by others; it is ignored. Give --com N"),
              std::string::npos)
        << cli->Errors();
}

// A Quorvel.conf in the current folder that cannot be used gives way to the
// program folder's copy, and both are named.
TEST_F(CliLinkTest, SkippedQuorvelConfIsNamedWithItsReason)
{
    const struct {
        std::function<void(const TempFolder&)> make;
        const char* reason;
    } rows[] = {
        {[](const TempFolder& f) { f.MakeFolder("Quorvel.conf"); }, ": not a regular file"},
        {[](const TempFolder& f) { f.Write("Quorvel.conf", std::string((1 << 20) + 1, 'x')); }, ": larger than 1 MiB"},
        {[](const TempFolder& f) { f.Write("Quorvel.conf", "x\nsheet Standard\nitem '\tA'\n"); },
         ": line 3: the item text holds a tab"},
    };
    const std::string shipped = (std::filesystem::path(cliProgram).parent_path() / "Quorvel.conf").string();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        TempFolder folder;
        row.make(folder);
        const Cwd cwd(folder.path);
        auto cli = StartCli({"--module", "0", "--restore", "none.txt"});
        EXPECT_EQ(cli->Wait(10s), 2);
        const std::string errors = cli->Errors();
        EXPECT_NE(errors.find((folder.path / "Quorvel.conf").string() + row.reason), std::string::npos) << errors;
        EXPECT_NE(errors.find("Parameter pages read from " + shipped + "\n"), std::string::npos) << errors;
    }
}

TEST_F(CliLinkTest, HelpIsPlainText)
{
    auto cli = StartCli({"--help"});
    EXPECT_EQ(cli->Wait(5s), 0);
    const Lines lines = cli->Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].text,
              "Usage: quorvel-cli [--com N] [--addr A] [--modules M] [--seconds S] [--fast] [--trace FILE]");
}

TEST_F(CliLinkTest, TraceAndWeightLogOfARunHoldEveryTelegram)
{
    TempFolder folder;
    const std::string trace = folder.str() + "/run.pcapng", weights = folder.str() + "/run.csv";
    auto slave = StartSlave(2, 2);
    auto cli = StartCli({"--com", "2", "--modules", "2", "--seconds", "3", "--trace", trace, "--weights", weights});
    ASSERT_EQ(cli->Wait(20s), 0) << cli->Errors();
    ASSERT_GT(std::filesystem::file_size(trace), 1000u);

    // The weight log: both modules of every data exchange, in turn.
    std::ifstream csv(weights);
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "time,module,gross,net,status bytes");
    int rows = 0;
    for (; std::getline(csv, line); ++rows) {
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0, module = -1;
        double gross = 0, net = 0;
        unsigned status12 = 0, status11 = 0;
        char zone = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c,%d,%lf,%lf,%2X %2X", &year, &month, &day,
                              &hour, &minute, &second, &ms, &zone, &module, &gross, &net, &status12, &status11),
                  13)
            << line;
        EXPECT_EQ(zone, 'Z') << line;
        EXPECT_EQ(module, rows % 2) << line;
    }
    EXPECT_GT(rows, 20);
    const std::string tshark = FindProgram("tshark");
    if (tshark.empty())
        GTEST_SKIP() << "tshark is not installed: the trace is not decoded (scripts/setup.sh installs it)";

    // The packet list: one line per telegram, direction and addresses first.
    ChildProcess list(tshark, {"-X", "lua_script:" + dissector, "-r", trace});
    ASSERT_EQ(list.Wait(60s), 0) << list.Errors();
    const Lines packets = list.Lines();
    ASSERT_GT(packets.size(), 30u) << list.Errors();
    EXPECT_NE(packets[0].text.find("Comment: Start"), std::string::npos) << packets[0].text;
    EXPECT_NE(packets[1].text.find("M->S Start sequence FE FF 01"), std::string::npos) << packets[1].text;
    EXPECT_NE(packets.back().text.find("Comment: Stop"), std::string::npos) << packets.back().text;
    std::size_t next = 0, responses = 0;
    const std::vector<std::string> startUp = {
        "M->S 0->3 Slave_Diag request",
        "S->M 3->0 Slave_Diag response [Station_Not_Ready Prm_Req] master 255 Ident 09C5",
        "M->S 0->3 Set_Prm request Ident 09C5",
        "S->M SC short acknowledgement of Set_Prm",
        "M->S 0->3 Chk_Cfg request 5 identifiers",
        "S->M SC short acknowledgement of Chk_Cfg",
        "M->S 0->3 Slave_Diag request",
        "S->M 3->0 Slave_Diag response [WD_On] master 0 Ident 09C5",
        "M->S 0->3 Global_Control request",
        "M->S 0->3 Data_Exchange request unit 0 Cmd 00 Index 0 Value 0"};
    for (const auto& packet : packets) {
        const std::string& text = packet.text;
        SCOPED_TRACE(text);
        EXPECT_NE(text.find("Quorvel DP"), std::string::npos);
        if (text.find("Comment: ") != std::string::npos) continue;
        const bool sent = text.find(" M->S ") != std::string::npos;
        EXPECT_NE(sent, text.find(" S->M ") != std::string::npos);
        EXPECT_EQ(sent, text.find("Master") < text.find("Slave"));  // source and destination columns
        if (next < startUp.size() && text.find(startUp[next]) != std::string::npos) ++next;
        if (text.find("S->M 3->0 Data_Exchange response unit 0 Stat 00 Index 0 Value 0 | gross 60.") !=
            std::string::npos) {
            EXPECT_NE(text.find("(2 modules)"), std::string::npos);
            ++responses;
        }
    }
    EXPECT_EQ(next, startUp.size()) << "start-up seen up to " << (next < startUp.size() ? startUp[next] : "");
    EXPECT_GT(responses, 10u);

    // The details: every field decoded, every check sum right, no error.
    ChildProcess details(tshark, {"-X", "lua_script:" + dissector, "-r", trace, "-V"});
    ASSERT_EQ(details.Wait(60s), 0) << details.Errors();
    std::string all;
    for (const auto& line : details.Lines()) all += line.text + "\n";
    for (const char* field : {"Packet flags: 0x00000002",
                              "Direction: M->S",
                              "Direction: S->M",
                              "Function code: 0x6d (request, SRD high)",
                              "FCB (frame count bit): True",
                              "1... .... = DSAP follows (address extension): True",
                              "DSAP: 61",
                              "SSAP: 62",
                              "DP service: Set_Prm",
                              "Watchdog time (ms): 2560",
                              "Min_Tsdr (bit times): 55",
                              "Identifier: 0xc00707 (special format: output 8 bytes, input 8 bytes)",
                              "Identifier: 0x1f (input, 16 bytes)",
                              "Control_Command: 0x00",
                              ".... ..1. = Station_Not_Ready: True",
                              "Diag.Master_Add: none (255)",
                              "Ident_Number: 0x09c5",
                              "Response: DL data low (0x8)",
                              "Cmd: 0x00",
                              "Stat: 0x00",
                              "Module 1: gross 85.",
                              "Manufacturer bytes: 57 5a 01",
                              "Qualifier: 0x",
                              "Status byte 11: 0x"})
        EXPECT_NE(all.find(field), std::string::npos) << field;
    for (const char* fault :
         {"Lua Error", "Malformed", "wrong", "cut short", "Unknown bytes", "differ", "Dropped", "trailing"})
        EXPECT_EQ(all.find(fault), std::string::npos) << fault;

    // The clock runs forward, across what was written and what was received.
    ChildProcess deltas(tshark, {"-r", trace, "-T", "fields", "-e", "frame.time_delta"});
    ASSERT_EQ(deltas.Wait(60s), 0) << deltas.Errors();
    for (const auto& delta : deltas.Lines()) EXPECT_GE(std::stod(delta.text), 0.0) << delta.text;
}

// A backup of module 1: cut anywhere or altered it is refused before the
// link starts; restored untouched it writes nothing; with a value the module
// refuses it names that item and exits 4, and so without an item of the
// pages, unless the file is meant to be partial.
TEST_F(CliLinkTest, BackupAndRestoreOfAModuleReportEveryDifference)
{
    TempFolder folder;
    std::filesystem::copy_file(QUORVEL_CONF_FILE, folder.path / "Quorvel.conf");
    const Cwd cwd(folder.path);  // where the program looks for Quorvel.conf first
    auto slave = StartSlave(2, 2, {"--instant"});
    auto run = [&](const std::string& option, const std::string& file, const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{"--com", "2",        "--modules", "2",    "--fast", "--seconds",
                                      "60",    "--module", "1",         option, file};
        args.insert(args.end(), more.begin(), more.end());
        auto cli = StartCli(args);
        cli->Wait(90s);
        return cli;
    };
    auto backup = run("--backup", "a.txt");
    ASSERT_EQ(backup->Wait(1s), 0) << backup->Errors();
    std::ifstream in("a.txt");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("identification: device ID 00231C49, software version 00000215\n"), std::string::npos) << text;

    const conf::TConfigLoad conf = conf::LoadFirstConfig({QUORVEL_CONF_FILE});
    const auto layout = conf::PageLayoutOf(conf.Lines);
    ASSERT_TRUE(backup::Read(text, layout).file);
    for (std::size_t cut = 0; cut < text.size(); ++cut)
        ASSERT_FALSE(backup::Read(text.substr(0, cut), layout).file) << "cut after " << cut << " bytes";
    std::string altered = text;
    altered[altered.find("Filter value\t") + 13] ^= 1;
    EXPECT_NE(backup::Read(altered, layout).error.find("the check sum does not match"), std::string::npos)
        << "an item line that still parses";
    std::ofstream("c.txt") << text.substr(0, text.size() / 2);
    auto cut = run("--restore", "c.txt");
    EXPECT_EQ(cut->Wait(1s), 2);
    EXPECT_NE(cut->Errors().find("c.txt, line "), std::string::npos) << cut->Errors();

    std::ofstream("d.txt") << text.substr(0, text.find("# end:")).erase(text.find("format: 2\n"), 10);
    auto first = run("--restore", "d.txt");  // the first format: a cut cannot be seen
    EXPECT_EQ(first->Wait(1s), 2);
    EXPECT_NE(first->Errors().find("Give --accept-unchecked to restore it anyway."), std::string::npos);

    auto untouched = run("--restore", "a.txt");
    EXPECT_EQ(untouched->Wait(1s), 0) << untouched->Output() << untouched->Errors();
    EXPECT_NE(untouched->Output().find(" 0 written and confirmed, 0 refused, 0 not answered"), std::string::npos)
        << untouched->Output();

    backup::TFile changed = *backup::Read(text, layout).file;
    for (backup::TItem& item : changed.items)
        if (item.page == "Standard" && item.number == 4) item.value = 99999;
    std::ofstream("b.txt") << backup::Write(changed);
    auto refused = run("--restore", "b.txt");
    EXPECT_EQ(refused->Wait(1s), 4) << refused->Errors();
    EXPECT_NE(refused->Output().find("Standard 4 Filter value: module "), std::string::npos) << refused->Output();
    EXPECT_NE(refused->Output().find("difference: Standard 4 Filter value: write refused"), std::string::npos)
        << refused->Output();

    backup::TFile lacking = *backup::Read(text, layout).file;
    lacking.items.erase(lacking.items.begin() + 3);  // Standard 4, with the count and check sum made anew
    std::ofstream("e.txt") << backup::Write(lacking, "\r\n");
    for (const bool partial : {false, true}) {
        auto cli =
            run("--restore", "e.txt", partial ? std::vector<std::string>{"--partial"} : std::vector<std::string>{});
        EXPECT_EQ(cli->Wait(1s), partial ? 0 : 4) << cli->Output() << cli->Errors();
        EXPECT_NE(cli->Output().find("\nStandard 4 Filter value: not in the file\n"), std::string::npos)
            << cli->Output();
        EXPECT_NE(cli->Output().find(" 0 not answered, 1 not in the file\n"), std::string::npos) << cli->Output();
    }
}

TEST_F(CliLinkTest, CalibrateCheckComparesTheRestingGrossWithTheReference)
{
    TempFolder folder;
    const std::string pipe = (folder.path / "scale").string();
    auto slave = StartSlave(2, 1, {"--instant", "--load", "0:50", "--control", pipe});
    auto check = [&](const std::string& kg, const char* seconds = "40") {
        auto cli = StartCli({"--com", "2", "--fast", "--seconds", seconds, "--module", "0", "--calibrate-check", kg});
        cli->Wait(60s);
        return cli;
    };
    auto good = check("50");
    EXPECT_EQ(good->Wait(1s), 0) << good->Output() << good->Errors();
    // The last digit may flicker by one step either way at rest.
    EXPECT_NE(good->Output().find("display step 0.1 kg, no-motion time 500 ms\ngross "), std::string::npos)
        << good->Output();
    EXPECT_NE(good->Output().find(" kg at rest, reference 50.000 kg, difference "), std::string::npos);
    EXPECT_NE(good->Output().find(" display steps\nwithin one display step\n"), std::string::npos);
    auto off = check("49.5");
    EXPECT_EQ(off->Wait(1s), 5);
    EXPECT_NE(off->Output().find("reference 49.500 kg, difference +0."), std::string::npos) << off->Output();
    EXPECT_NE(off->Output().find("outside one display step"), std::string::npos) << off->Output();

    std::ofstream(pipe) << "motion 0 on\n";
    auto shaking = check("50", "3");
    EXPECT_EQ(shaking->Wait(1s), 5);
    EXPECT_NE(shaking->Output().find("failed: the weight did not come to rest"), std::string::npos)
        << shaking->Output();
}

namespace {

// A number the simulator's --stats FILE holds under `key`; nothing when absent.
std::optional<long long> StatsValue(const std::string& path, const std::string& key)
{
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t at = text.find("\"" + key + "\"");
    if (at == std::string::npos) return std::nullopt;
    const std::size_t value = text.find_first_of("0123456789", at + key.size() + 2);
    if (value == std::string::npos) return std::nullopt;
    return std::strtoll(text.c_str() + value, nullptr, 10);
}

}  // namespace

// A line where no master talks: nothing is heard, nothing is sent.
TEST_F(CliLinkTest, ListenerOnASilentLineSendsNothingAndExitsOne)
{
    TempFolder folder;
    const std::string stats = folder.str() + "/slave.json";
    auto slave = StartSlave(2, 1, {"--stats", stats});
    auto cli = StartCli({"--listen", "--com", "2", "--seconds", "3", "--stats"});
    EXPECT_EQ(cli->Wait(20s), 1) << cli->Errors();
    EXPECT_NE(cli->Errors().find("no valid telegram heard"), std::string::npos) << cli->Errors();
    slave->Stop();  // the simulator writes its counts as it ends
    const auto counts = SlaveCounts::Read(stats);
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->requests + counts->collisions, 0);
}

// A PLC master drives a slave of eight modules; the listener on a tap of the
// line shows the modules' values and writes nothing.
TEST_F(CliLinkTest, ListenerOnAPlantShowsTheModulesValuesAndWritesNothing)
{
    TempFolder folder;
    const std::string stats = folder.str() + "/plant.json";
    auto plant =
        StartSlave(2, {"--plant", "--addr", "3", "--modules", "8", "--tap", "5", "--baud", "19200", "--stats", stats});
    ASSERT_TRUE(WaitUntil([] { return std::filesystem::exists(portdir::LinkPath(5)); }, 5000ms));
    auto cli = StartCli({"--listen", "--com", "5", "--addr", "3", "--seconds", "10", "--baud", "19200"});
    EXPECT_EQ(cli->Wait(30s), 0) << cli->Errors();
    std::size_t values = 0;
    bool slaveLine = false;
    for (const auto& line : cli->Lines()) {
        slaveLine |= line.text.rfind("station 3 slave weighing 8 module(s)", 0) == 0;
        ModuleLine m;
        if (!ParseModuleLine(line.text, m)) continue;
        ++values;
        EXPECT_NEAR(std::stod(m.gross), 60.0 + 25.0 * m.k, 1.0) << line.text;
        EXPECT_EQ(m.manufacturer, "57 5A 0" + std::to_string(m.k)) << line.text;
    }
    EXPECT_TRUE(slaveLine);
    EXPECT_GT(values, 8u);
    plant->Stop();
    EXPECT_EQ(StatsValue(stats, "tap_written"), 0);
}
