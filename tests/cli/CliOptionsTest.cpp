// quorvel-cli's command line: what it accepts and the messages for what not.
#include "cli/CliOptions.h"
#include "serial/SystemInfo.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

std::optional<TCliOptions> Parse(std::vector<std::string> args, std::string* error = nullptr)
{
    std::string message;
    auto options = ParseCliOptions(args, message);
    if (error) *error = message;
    return options;
}

}  // namespace

TEST(CliOptions, DefaultsAndFullLine)
{
    const auto defaults = Parse({});
    ASSERT_TRUE(defaults);
    EXPECT_FALSE(defaults->comNumber);
    EXPECT_EQ(defaults->slaveAddress, 3);
    EXPECT_EQ(defaults->moduleCount, 1);
    EXPECT_FALSE(defaults->seconds);
    EXPECT_FALSE(defaults->fast);

    const auto full = Parse({"--com", "7", "--addr", "126", "--modules", "8", "--seconds", "2.5", "--fast", "--trace",
                             "a.pcapng", "--weights", "w.csv"});
    ASSERT_TRUE(full);
    EXPECT_EQ(full->comNumber, 7);
    EXPECT_EQ(full->slaveAddress, 126);
    EXPECT_EQ(full->moduleCount, 8);
    EXPECT_EQ(full->seconds, 2.5);
    EXPECT_TRUE(full->fast);
    EXPECT_EQ(full->traceFile, "a.pcapng");
    EXPECT_EQ(full->weightsFile, "w.csv");
    EXPECT_EQ(Parse({"--addr", "0"})->slaveAddress, 0);
    EXPECT_TRUE(Parse({"--help"})->help);
    const auto listen = Parse({"--listen", "--baud", "1500000", "--addr", "3"});
    EXPECT_TRUE(listen->listen && listen->addressGiven);
    EXPECT_EQ(listen->baud, 1500000);
}

TEST(CliOptions, RefusesValuesOutsideTheirRangeWithAMessage)
{
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--addr", "127"}, "--addr must be a PROFIBUS address from 0 to 126 (got '127')"},
        {{"--addr", "-1"}, "--addr must be a PROFIBUS address from 0 to 126 (got '-1')"},
        {{"--addr", "3x"}, "--addr must be a PROFIBUS address from 0 to 126 (got '3x')"},
        {{"--modules", "0"}, "--modules must be a number of modules from 1 to 8 (got '0')"},
        {{"--modules", "9"}, "--modules must be a number of modules from 1 to 8 (got '9')"},
        {{"--com", "0"}, "--com must be a port number from 1 to 255 (got '0')"},
        {{"--com", "COM2"}, "--com must be a port number from 1 to 255 (got 'COM2')"},
        {{"--seconds", "0"}, "--seconds must be a number of seconds above 0 and at most 8640000 (100 days) (got '0')"},
        {{"--seconds", "nan"},
         "--seconds must be a number of seconds above 0 and at most 8640000 (100 days) (got 'nan')"},
        {{"--seconds", "1e10"},
         "--seconds must be a number of seconds above 0 and at most 8640000 (100 days) (got '1e10')"},
        {{"--com"}, "--com needs a value"},
        {{"--trace", ""}, "--trace needs a file name"},
        {{"--baud", "9601"},
         "--baud must be a DP rate: 9600, 19200, 45450, 93750, 187500, 500000 or 1500000 (got '9601')"},
        {{"--baud", "auto"}, "--baud auto goes with --listen"},
        {{"--listen", "--fast"},
         "--listen sends nothing: it goes with neither --live-list, --fast, --backup, --restore nor --calibrate-check"},
        {{"2"}, "unknown option '2'"},
        {{"--module", "0", "--calibrate-check", "0"},
         "--calibrate-check must be a reference weight in kg above 0 (got '0')"},
        {{"--calibrate-check", "50"}, "--module K goes with --backup FILE, --restore FILE or --calibrate-check KG"},
        {{"--partial", "--module", "0", "--backup", "a"}, "--partial goes with --restore FILE"},
        {{"--module", "0", "--calibrate-check", "50", "--backup", "a"},
         "--backup, --restore and --calibrate-check exclude each other"},
        {{"--mqtt", "tcp://h"},
         "--mqtt must be mqtt://host[:port] or mqtts://host[:port]; it starts with neither (got 'tcp://h')"},
        {{"--mqtt", "mqtt://h:0"},
         "--mqtt must be mqtt://host[:port] or mqtts://host[:port]; its port is no number from 1 to 65535 (got "
         "'mqtt://h:0')"},
        {{"--mqtt", "mqtt://:1883"},
         "--mqtt must be mqtt://host[:port] or mqtts://host[:port]; it needs a host, and no path, user or query (got "
         "'mqtt://:1883')"},
        {{"--mqtt", "mqtt://h", "--mqtt-topic", "a/#"},
         "--mqtt-topic must be a topic without + or #, and not start or end with / (got 'a/#')"},
        {{"--mqtt", "mqtt://h", "--mqtt-interval", "-1"},
         "--mqtt-interval must be a number of milliseconds from 0 to 3600000 (got '-1')"},
        {{"--mqtt", "mqtt://h", "--mqtt-password", "x"},
         "the broker's password is never given on the command line, where ps shows it: use --mqtt-password-file FILE "
         "or QUORVEL_MQTT_PASSWORD"},
        {{"--mqtt", "mqtt://h", "--mqtt-ca", "ca.pem"}, "--mqtt-ca goes with an mqtts:// broker"},
        {{"--mqtt", "mqtt://h", "--mqtt-password-file", "p"}, "--mqtt-password-file goes with --mqtt-user NAME"},
        {{"--mqtt-topic", "a"},
         "--mqtt-topic, --mqtt-user, --mqtt-password-file, --mqtt-ca, --mqtt-client-id and --mqtt-interval go with "
         "--mqtt URL"},
        {{"--mqtt", "mqtt://h", "--live-list"},
         "--mqtt publishes the link's run; it does not go with --live-list, --backup, --restore or --calibrate-check"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::string error;
        EXPECT_FALSE(Parse(c.args, &error));
        EXPECT_EQ(error, c.message);
    }
}

TEST(CliOptions, ReadsAConfigFileThatTheCommandLineOverridesAndNamesABadLine)
{
    TempFolder folder;
    const std::string file = (folder.path / "gateway.conf").string();
    folder.Write("gateway.conf", "# a gateway\n  addr = 5\r\n\nmodules=2\nfast = true\nmqtt = mqtts://[::1]:8000\n");
    const auto options = Parse({"--config", file, "--addr", "7"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->slaveAddress, 7);
    EXPECT_EQ(options->moduleCount, 2);
    EXPECT_TRUE(options->fast);
    EXPECT_EQ(options->mqttUrl, "mqtts://[::1]:8000");

    const struct {
        const char* line;
        std::string message;
    } bad[] = {
        {"modules = 9", "line 2: --modules must be a number of modules from 1 to 8 (got '9')"},
        {"fast = yes", "line 2: fast takes true or false"},
        {"colour = red", "line 2: unknown option '--colour'"},
        {"addr 3", "line 2: not \"name = value\""},
        {"config = other.conf", "line 2: config is for the command line only"},
    };
    for (const auto& c : bad) {
        folder.Write("gateway.conf", std::string("# a gateway\n") + c.line + "\n");
        std::string error;
        EXPECT_FALSE(Parse({"--config", file}, &error));
        EXPECT_EQ(error, file + " " + c.message);
    }
}

TEST(CliOptions, UsageNamesEveryOptionAndTheExitStatus)
{
    const std::string usage = CliUsage();
    for (const char* word :
         {"--com N", "--addr A", "--modules M", "--seconds S", "--trace FILE", "--help", "Exit status"})
        EXPECT_NE(usage.find(word), std::string::npos) << word;
}

TEST(CliOptions, UsageNamesThePortsOfItsOwnSystem)
{
    EXPECT_NE(CliUsage().find(PortsHelp(WindowsBuild)), std::string::npos);
    EXPECT_NE(PortsHelp(true).find("Device Manager"), std::string::npos);
    EXPECT_EQ(PortsHelp(true).find("/tmp"), std::string::npos);
    EXPECT_NE(PortsHelp(false).find("/tmp/quorvel-<uid>/ports"), std::string::npos);
}
