// quorvel-cli as a gateway: the real slave simulator on a pseudo-terminal,
// a real broker of the test's own, and mosquitto_sub as the plant's
// subscriber.
#include "tests/support/LinkedPorts.h"
#include "tests/support/MqttBroker.h"
#include "serial/PortDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>

namespace {

using namespace std::chrono_literals;

const std::string Secret = "pa55-Never-Shown";

class MqttGatewayTest : public ::testing::Test {
protected:
    std::unique_ptr<ChildProcess> StartSlave(int modules)
    {
        auto slave = std::make_unique<ChildProcess>(
            QUORVEL_SLAVE_EXE, std::vector<std::string>{"--quiet", "--com", "2", "--modules", std::to_string(modules)});
        EXPECT_TRUE(WaitUntil([] { return std::filesystem::exists(portdir::LinkPath(2)); }, 5000ms));
        return slave;
    }
    std::unique_ptr<ChildProcess> StartCli(const std::string& url, std::vector<std::string> more)
    {
        std::vector<std::string> args{"--com", "2", "--mqtt", url, "--mqtt-topic", "q"};
        args.insert(args.end(), more.begin(), more.end());
        return std::make_unique<ChildProcess>(QUORVEL_CLI_PROGRAM, args);
    }
    std::string File(const std::string& name) const { return (folder.path / name).string(); }

    LinkedPorts env;
    TempFolder folder;
};

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A line of `process` that starts with `head`, within `limit`; empty when none came.
std::string LineStarting(ChildProcess& process, const std::string& head, std::chrono::seconds limit,
                         std::size_t from = 0)
{
    const auto found = process.WaitForLine(head, limit, from, true);
    return found ? process.Lines()[*found].text : std::string();
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The "no answer N" of the latest counters line quorvel-cli --stats printed.
std::string LastNoAnswerCount(const ChildProcess& cli)
{
    std::smatch match;
    std::string count;
    const auto lines = cli.Lines();
    for (const auto& line : lines)
        if (std::regex_search(line.text, match, std::regex("^stats .* no answer ([0-9]+) "))) count = match[1];
    return count;
}

}  // namespace

TEST_F(MqttGatewayTest, PublishesStatusValuesInfoAndDiagnosisAndNeverThePassword)
{
    MqttBroker broker(folder);
    auto subscriber = broker.Subscribe("q/#");
    auto slave = StartSlave(2);
    ScopedEnv password("QUORVEL_MQTT_PASSWORD", Secret);
    auto cli = StartCli(
        broker.Url(), {"--modules", "2", "--mqtt-interval", "0", "--mqtt-user", "gw", "--trace", File("link.pcapng")});
    const std::string connected = LineStarting(*subscriber, "q/status {\"state\": \"connected\"", 30s);
    EXPECT_TRUE(std::regex_match(
        connected,
        std::regex(
            R"(q/status \{"state": "connected", "text": "Connected", "since": "20\d\d-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z"\})")))
        << connected << cli->Errors();
    const std::regex values(
        R"(q/module/[01] \{"gross": -?\d+\.\d{3}, "net": -?\d+\.\d{3}, "unit": "kg", "qualifier": "[0-9A-F]{4}", )"
        R"("limit": "[0-9A-F]{2}", "status": "[0-9A-F]{2} [0-9A-F]{2}", "stale": false, "time": "20[0-9T:.-]{21}Z"\})");
    for (const char* module : {"q/module/0 ", "q/module/1 "}) {
        const std::string line = LineStarting(*subscriber, module, 10s);
        EXPECT_TRUE(std::regex_match(line, values)) << line;
    }
    // Sent again once the slave's ident is known.
    EXPECT_TRUE(subscriber->WaitForLine("q/info {\"program\": \"quorvel-cli\", \"version\": \"" QUORVEL_VERSION_TEXT
                                        "\", \"slave\": 3, \"ident\": \"09C5\", \"modules\": 2}",
                                        5s));
    EXPECT_NE(LineStarting(*subscriber, "q/diagnosis {\"station\": 3, \"master\": ", 5s), "");
    EXPECT_TRUE(std::regex_search(
        LineStarting(*subscriber, "q/bus ", 15s),
        std::regex(R"(^q/bus \{"requests": \d+, "answers": \d+, "no answer": \d+, .*"mqtt dropped": \d+\}$)")));
    EXPECT_EQ(Read("/proc/" + std::to_string(cli->Pid()) + "/cmdline").find(Secret), std::string::npos);

    const std::size_t before = subscriber->Lines().size();
    EXPECT_EQ(cli->Stop(SIGTERM), 0) << cli->Errors();
    EXPECT_NE(
        LineStarting(*subscriber, "q/status {\"state\": \"offline\", \"text\": \"quorvel-cli stopped\"", 10s, before),
        "");
    for (const std::string& seen : {cli->Output(), cli->Errors(), Read(File("link.pcapng")), broker.Log()})
        EXPECT_EQ(seen.find(Secret), std::string::npos);
}

TEST_F(MqttGatewayTest, ABrokerBackAfterTenSecondsGetsTheRetainedStatusAndValuesAndAKilledGatewayShowsOffline)
{
    MqttBroker broker(folder);
    auto slave = StartSlave(1);
    auto cli = StartCli(broker.Url(), {"--mqtt-interval", "0", "--stats"});
    {
        auto subscriber = broker.Subscribe("q/#");
        ASSERT_NE(LineStarting(*subscriber, "q/status {\"state\": \"connected\"", 30s), "") << cli->Errors();
    }
    broker.Stop();
    std::this_thread::sleep_for(10s);
    broker.Start();
    auto subscriber = broker.Subscribe("q/#");
    // The retained status comes from the broker, sent again by the gateway on its reconnect.
    EXPECT_NE(LineStarting(*subscriber, "q/status {\"state\": \"connected\"", 45s), "") << cli->Errors();
    EXPECT_NE(LineStarting(*subscriber, "q/module/0 {", 10s), "");
    ASSERT_TRUE(cli->WaitForLine("stats ", 15s, 0, true));
    EXPECT_EQ(LastNoAnswerCount(*cli), "0") << cli->Output();
    EXPECT_EQ(Count(cli->Output(), "No answer from slave"), 0u);

    const std::size_t before = subscriber->Lines().size();
    cli->Signal(SIGKILL);
    EXPECT_EQ(LineStarting(*subscriber, "q/status ", 10s, before),
              "q/status {\"state\": \"offline\", \"text\": \"the gateway is gone\"}");
}

// A broker that cannot be used is told once on standard error, while the
// link is brought up and runs as without MQTT.
struct BrokerCase {
    const char* name;
    const char* problem;  // what the one message about the broker says
};

void PrintTo(const BrokerCase& c, std::ostream* out) { *out << c.name; }

class MqttBrokerProblemTest : public MqttGatewayTest, public ::testing::WithParamInterface<BrokerCase> {};

TEST_P(MqttBrokerProblemTest, IsToldOnceAndTheLinkRunsOn)
{
    const std::string name = GetParam().name;
    const std::string openssl = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 ";
    const std::string in = " 2>/dev/null && cd " + folder.str() + " && ";
    ASSERT_EQ(std::system(("cd " + folder.str() + " && " + openssl + "-keyout ca.key -out ca.pem -subj /CN=TestCA" +
                           in + openssl + "-keyout other.key -out other.pem -subj /CN=OtherCA" + in +
                           "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key "
                           "-out server.csr -subj /CN=localhost 2>/dev/null && printf 'subjectAltName=DNS:localhost' > "
                           "ext && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
                           "-extfile ext -out server.pem 2>/dev/null && mosquitto_passwd -b -c passwords gw right")
                              .c_str()),
              0);
    const bool tls = name.find("CA") != std::string::npos;
    MqttBroker broker(folder, tls ? "cafile " + File("ca.pem") + "\ncertfile " + File("server.pem") + "\nkeyfile " +
                                        File("server.key") + "\nallow_anonymous true\n"
                                  : "password_file " + File("passwords") + "\nallow_anonymous false\n");
    ScopedEnv password("QUORVEL_MQTT_PASSWORD", "wrong");
    auto slave = StartSlave(1);
    std::vector<std::string> more{"--seconds", "7"};
    std::string url = broker.Url();
    if (tls) {
        url = "mqtts://localhost:" + std::to_string(broker.Port());
        more.insert(more.end(), {"--mqtt-ca", File(name == "right CA" ? "ca.pem" : "other.pem")});
    } else if (name == "unreachable") {
        url = "mqtt://127.0.0.1:" + std::to_string(FreeLoopbackPort());
    } else {
        more.insert(more.end(), {"--mqtt-user", "gw"});
    }
    auto cli = StartCli(url, more);
    EXPECT_EQ(cli->Wait(), 0) << cli->Errors();
    EXPECT_EQ(Count(cli->Errors(), "MQTT broker"), 1u) << cli->Errors();
    EXPECT_EQ(Count(cli->Errors(), GetParam().problem), 1u) << cli->Errors();
    EXPECT_EQ(LastNoAnswerCount(*cli), "");  // no --stats: only the link's own lines
    EXPECT_EQ(Count(cli->Output(), "\nConnected\n"), 1u) << cli->Output();
}

INSTANTIATE_TEST_SUITE_P(
    Brokers, MqttBrokerProblemTest,
    ::testing::Values(BrokerCase{"wrong password", "refused the connection: Connection Refused: not authorised."},
                      BrokerCase{"unreachable", "Connection refused"},
                      BrokerCase{"wrong CA", "certificate verify failed"}, BrokerCase{"right CA", ": connected"}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (c == ' ') c = '_';
        return name;
    });

// Listening to a plant's bus, the gateway publishes the slave's values as
// live under the state "listening", and nothing goes onto the line.
TEST_F(MqttGatewayTest, ListeningPublishesTheHeardSlavesValues)
{
    MqttBroker broker(folder);
    auto subscriber = broker.Subscribe("q/#");
    const std::string stats = File("plant.json");
    auto plant = std::make_unique<ChildProcess>(
        QUORVEL_SLAVE_EXE,
        std::vector<std::string>{"--quiet", "--plant", "--modules", "8", "--com", "2", "--tap", "5", "--stats", stats});
    ASSERT_TRUE(WaitUntil([] { return std::filesystem::exists(portdir::LinkPath(5)); }, 5000ms));
    auto cli = std::make_unique<ChildProcess>(
        QUORVEL_CLI_PROGRAM, std::vector<std::string>{"--listen", "--com", "5", "--baud", "19200", "--mqtt",
                                                      broker.Url(), "--mqtt-topic", "q", "--mqtt-interval", "0"});
    EXPECT_NE(
        LineStarting(*subscriber, "q/status {\"state\": \"listening\", \"text\": \"Listening at 19200 baud\"", 30s), "")
        << cli->Errors();
    const std::string line = LineStarting(*subscriber, "q/module/7 ", 20s);
    EXPECT_NE(line.find("\"stale\": false"), std::string::npos) << line << cli->Errors();
    EXPECT_EQ(cli->Stop(SIGTERM), 0) << cli->Errors();
    plant->Stop(SIGTERM);
    EXPECT_NE(Read(stats).find("\"tap_written\": 0,"), std::string::npos) << Read(stats);
}
