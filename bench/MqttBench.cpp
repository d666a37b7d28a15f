// Figures of quorvel-cli as an MQTT gateway, side by side in one run against
// quorvel-slave with 8 modules on the fast cycle and a broker of the bench's
// own: without MQTT, publishing every data exchange (--mqtt-interval 0), and
// publishing while the broker is stopped and started every 10 s. Prints the
// messages a subscriber received per module value (goal 1.0), quorvel-cli's
// CPU per second with and without MQTT, and the mean cycle time with the
// broker coming and going against without MQTT (ratio).
//
//   mqtt_bench [seconds]   (default 40 seconds per run)
#include "bench/BenchUsage.h"
#include "tests/support/LinkedPorts.h"
#include "tests/support/MqttBroker.h"
#include "serial/PortDirectory.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <regex>
#include <thread>

namespace {

struct TRun {
    double cpuPerSecond = 0;  // s of CPU per s of run
    double meanCycleMs = 0;
    long exchanges = 0;  // data exchanges quorvel-cli printed (module 0 lines)
    long delivered = 0;  // module messages the subscriber received
};

enum class TBroker { None, Up, Bouncing };

std::optional<TRun> Measure(TBroker mode, int seconds, const TempFolder& folder)
{
    ChildProcess slave(QUORVEL_SLAVE_EXE, {"--com", "2", "--modules", "8", "--quiet"});
    WaitUntil([] { return std::filesystem::exists(portdir::LinkPath(2)); });
    std::optional<MqttBroker> broker;
    std::unique_ptr<ChildProcess> subscriber;
    std::vector<std::string> args{"--com",  "2",       "--modules", "8",
                                  "--fast", "--stats", "--seconds", std::to_string(seconds)};
    if (mode != TBroker::None) {
        broker.emplace(folder);
        subscriber = broker->Subscribe("bench/module/#");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        args.insert(args.end(), {"--mqtt", broker->Url(), "--mqtt-topic", "bench", "--mqtt-interval", "0"});
    }
    ChildProcess cli(QUORVEL_CLI_PROGRAM, args);
    std::atomic<bool> done = false;
    std::thread bounce([&] {
        for (int tick = 1; mode == TBroker::Bouncing && !done; ++tick) {
            for (int i = 0; i < 100 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (done) break;
            tick % 2 ? broker->Stop() : broker->Start();
        }
    });
    const auto exit = cli.Wait(std::chrono::seconds(seconds + 30));
    done = true;
    bounce.join();
    slave.Signal(SIGTERM);
    slave.Wait(std::chrono::seconds(5));
    TRun run;
    std::smatch match;
    for (const auto& line : cli.Lines()) {
        if (line.text.rfind("WZM 0 ", 0) == 0) ++run.exchanges;
        if (std::regex_search(line.text, match, std::regex("^stats .* mean ([0-9.]+) ms")))
            run.meanCycleMs = std::atof(match[1].str().c_str());
    }
    if (!exit || run.exchanges == 0) {
        std::cerr << "no data exchange\n" << cli.Errors();
        return std::nullopt;
    }
    run.cpuPerSecond = cli.CpuTime().count() / seconds;
    if (subscriber) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        for (const auto& line : subscriber->Lines()) run.delivered += line.text.rfind("bench/module/", 0) == 0;
    }
    return run;
}

}  // namespace

constexpr const char* Usage = R"(Usage: mqtt_bench [SECONDS]
Figures of quorvel-cli publishing to MQTT, 8 modules, fast cycle, side by
side: messages per module value, CPU with and without MQTT, cycle time with
the broker stopped and started every 10 s against without MQTT.
  SECONDS  seconds of each run (default 40)
)";

int main(int argc, char** argv)
{
    if (const auto status = BenchUsage(argc, argv, 1, Usage)) return *status;
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    LinkedPorts env;
    TempFolder folder;
    const auto none = Measure(TBroker::None, seconds, folder);
    const auto up = Measure(TBroker::Up, seconds, folder);
    const auto bouncing = Measure(TBroker::Bouncing, seconds, folder);
    if (!none || !up || !bouncing) return 1;
    std::printf("without MQTT: %ld exchanges, mean cycle %.2f ms, CPU %.2f ms/s\n", none->exchanges, none->meanCycleMs,
                1000 * none->cpuPerSecond);
    std::printf(
        "MQTT, interval 0: %ld exchanges, %ld module messages delivered, %.3f per module value, "
        "CPU %.2f ms/s (%.2f x without)\n",
        up->exchanges, up->delivered, up->delivered / (8.0 * up->exchanges), 1000 * up->cpuPerSecond,
        up->cpuPerSecond / none->cpuPerSecond);
    std::printf("MQTT, broker stopped/started every 10 s: mean cycle %.2f ms; without MQTT / with: %.3f\n",
                bouncing->meanCycleMs, none->meanCycleMs / bouncing->meanCycleMs);
    return 0;
}
