// quorvel-cli against the real quorvel-slave process on a pseudo-terminal:
// start-up, cyclic data, a slave that goes away and comes back, a slave that
// refuses the configuration, and the command line's refusals.
#include "ChildProcess.h"
#include "LinkedPorts.h"
#include "serial/PortDirectory.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <sstream>
#include <sys/file.h>

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<ChildProcess::Line>;

const std::string slaveProgram = QUORVEL_SLAVE_EXE;
const std::string cliProgram = QUORVEL_CLI_PROGRAM;

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
           s.find_first_not_of("0123456789", first) == dot && s.find_first_not_of("0123456789", dot + 1) == std::string::npos;
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

double Seconds(ChildProcess::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class CliLinkTest : public ::testing::Test {
protected:
    // quorvel-slave serving COM<com>, once its link is in place.
    std::unique_ptr<ChildProcess> StartSlave(int com, int modules)
    {
        auto slave = std::make_unique<ChildProcess>(
            slaveProgram, std::vector<std::string>{"--com", std::to_string(com), "--modules", std::to_string(modules), "--quiet"});
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
        if (lines[i].text.rfind("WZM ", 0) != 0) texts.push_back(lines[i].text);
    return texts;
}

class CliExchangeTest : public CliLinkTest, public ::testing::WithParamInterface<int> {};

}  // namespace

TEST_P(CliExchangeTest, ConnectsQuicklyAndExchangesCleanDataForHalfAMinute)
{
    const int modules = GetParam();
    auto slave = StartSlave(2, modules);
    auto cli = StartCli({"--com", "2", "--addr", "3", "--modules", std::to_string(modules), "--seconds", "31"});
    EXPECT_EQ(cli->Wait(45s), 0) << cli->Errors();
    const Lines lines = cli->Lines();

    std::size_t connected = 0;
    while (connected < lines.size() && lines[connected].text != "Connected") ++connected;
    ASSERT_LT(connected, lines.size()) << cli->Errors();
    EXPECT_EQ(StatusLines(lines), (std::vector<std::string>{"Connecting", "Parameterization", "Configurating", "Connected"}));
    EXPECT_LT(Seconds(lines[connected].at), 2.0);

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

    // One request per 100 ms tick, each answered.
    const double span = Seconds(lines.back().at - lines[connected].at);
    ASSERT_GT(span, 25.0);
    const double rate = static_cast<double>(responses) / span;
    EXPECT_GT(rate, 8.0);
    EXPECT_LT(rate, 10.5);
}

INSTANTIATE_TEST_SUITE_P(Modules, CliExchangeTest, ::testing::Values(1, 8));

TEST_F(CliLinkTest, ReportsASlaveThatWentAwayAndPicksUpItsReturn)
{
    auto slave = StartSlave(2, 1);
    auto cli = StartCli({"--com", "2"});
    const auto connected = cli->WaitForLine("Connected", 5s);
    ASSERT_TRUE(connected) << cli->Errors();
    ASSERT_TRUE(cli->WaitForLine("WZM 0 ", 2s, *connected, true));

    slave->Signal(SIGTERM);
    EXPECT_EQ(slave->Wait(5s), 0);
    const auto silent = cli->WaitForLine("No answer from slave", 5s, *connected);
    ASSERT_TRUE(silent);
    const auto connecting = cli->WaitForLine("Connecting", 2s, *silent);
    ASSERT_TRUE(connecting);

    slave = StartSlave(2, 1);
    const auto again = cli->WaitForLine("Connected", 10s, *connecting);
    ASSERT_TRUE(again) << cli->Errors();
    EXPECT_TRUE(cli->WaitForLine("WZM 0 ", 2s, *again, true));

    cli->Signal(SIGINT);
    EXPECT_EQ(cli->Wait(5s), 0);
    EXPECT_EQ(cli->Errors().find("rror"), std::string::npos) << cli->Errors();
}

TEST_F(CliLinkTest, SlaveWithOtherModuleCountRefusesTheMaster)
{
    auto slave = StartSlave(2, 2);
    auto cli = StartCli({"--com", "2", "--modules", "1", "--seconds", "4"});
    EXPECT_EQ(cli->Wait(10s), 1);
    for (const auto& line : cli->Lines()) EXPECT_NE(line.text.rfind("WZM ", 0), 0u) << line.text;
    EXPECT_EQ(slave->Wait(0s), std::nullopt);  // the slave is still serving
}

TEST_F(CliLinkTest, WrongOptionsAndPortsExitWithTwoAndAMessage)
{
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--com", "9"}, "ie_BadId - Specified comport doesn't exist"},
        {{"--addr", "127"}, "--addr must be a PROFIBUS address from 0 to 126 (got '127')"},
        {{"--modules", "0"}, "--modules must be a number of modules from 1 to 8 (got '0')"},
        {{"--modules", "9"}, "--modules must be a number of modules from 1 to 8 (got '9')"},
        {{"--com", "x"}, "--com must be a port number from 1 to 255 (got 'x')"},
        {{}, "no COM port opens"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        auto cli = StartCli(c.args);
        EXPECT_EQ(cli->Wait(10s), 2);
        EXPECT_NE(cli->Errors().find(c.message), std::string::npos) << cli->Errors();
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
    close(held);
}

TEST_F(CliLinkTest, HelpIsPlainText)
{
    auto cli = StartCli({"--help"});
    EXPECT_EQ(cli->Wait(5s), 0);
    const Lines lines = cli->Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].text, "Usage: quorvel-cli [--com N] [--addr A] [--modules M] [--seconds S]");
}
