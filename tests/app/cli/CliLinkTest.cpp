// quorvel-cli against the real quorvel-slave process on a pseudo-terminal:
// start-up, cyclic data, a slave that goes away and comes back, a slave that
// refuses the configuration, and the command line's refusals.
#include "ChildProcess.h"
#include "LinkedPorts.h"
#include "serial/PortDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/file.h>

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<ChildProcess::Line>;

const std::string slaveProgram = QUORVEL_SLAVE_PROGRAM;
const std::string cliProgram = QUORVEL_CLI_PROGRAM;
const char* const modulePattern =
    R"(WZM (\d) gross (-?\d+\.\d{3}) net (-?\d+\.\d{3}) qualifier ([0-9A-F]{4}) limit ([0-9A-F]{2}) )"
    R"(status ([0-9A-F]{2} [0-9A-F]{2}) manufacturer ([0-9A-F]{2} [0-9A-F]{2} [0-9A-F]{2}))";

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
    const std::regex re(modulePattern);
    std::size_t responses = 0;
    for (std::size_t i = connected + 1; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i].text, m, re)) << "garbled line " << i << ": " << lines[i].text;
        const int k = std::stoi(m[1]);
        ASSERT_EQ(k, static_cast<int>((i - connected - 1) % modules)) << lines[i].text;
        if (k == 0) ++responses;
        EXPECT_NEAR(std::stod(m[2]), 60.0 + 25.0 * k, 1.0) << lines[i].text;
        EXPECT_EQ(m[3], m[2]) << lines[i].text;
        EXPECT_EQ(std::stoi(m[4], nullptr, 16) & 1, 1) << "qualifier not valid: " << lines[i].text;
        EXPECT_EQ(m[7].str(), "57 5A 0" + std::to_string(k)) << lines[i].text;
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
    ASSERT_TRUE(cli->WaitForLine("WZM 0 .*", 2s, *connected));

    slave->Signal(SIGTERM);
    EXPECT_EQ(slave->Wait(5s), 0);
    const auto silent = cli->WaitForLine("No answer from slave", 5s, *connected);
    ASSERT_TRUE(silent);
    const auto connecting = cli->WaitForLine("Connecting", 2s, *silent);
    ASSERT_TRUE(connecting);

    slave = StartSlave(2, 1);
    const auto again = cli->WaitForLine("Connected", 10s, *connecting);
    ASSERT_TRUE(again) << cli->Errors();
    EXPECT_TRUE(cli->WaitForLine("WZM 0 .*", 2s, *again));

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
