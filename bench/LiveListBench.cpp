// Figure of the live list: the time quorvel-cli --live-list takes to ask
// all 126 station addresses against quorvel-slave on a pseudo-terminal
// holding three stations (3, 7 and 20), from process start to exit.
//
//   live_list_bench [rounds]   (default 5)
#include "bench/BenchUsage.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"
#include "serial/PortDirectory.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

constexpr const char* Usage = R"(Usage: live_list_bench [ROUNDS]
The time quorvel-cli --live-list takes to ask all 126 addresses against a
simulator holding three stations.
  ROUNDS  scans to time (default 5)
)";

int main(int argc, char** argv)
{
    if (const auto status = BenchUsage(argc, argv, 1, Usage)) return *status;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    TempFolder folder;
    ScopedEnv portDir("QUORVEL_PORT_DIR", (folder.path / "ports").string());
    folder.MakeFolder("sys/class/tty");
    ScopedEnv sysfs("QUORVEL_SYSFS_ROOT", (folder.path / "sys").string());

    ChildProcess slave(QUORVEL_SLAVE_EXE,
                       {"--com", "2", "--station", "3:2", "--station", "7:8", "--station", "20:1", "--quiet"});
    const auto until = ChildProcess::Clock::now() + std::chrono::seconds(5);
    while (!std::filesystem::exists(portdir::LinkPath(2)) && ChildProcess::Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    double low = 1e9, high = 0, sum = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto start = ChildProcess::Clock::now();
        ChildProcess cli(QUORVEL_CLI_PROGRAM, {"--com", "2", "--live-list"});
        const auto exit = cli.Wait(std::chrono::seconds(60));
        const double seconds = std::chrono::duration<double>(ChildProcess::Clock::now() - start).count();
        if (!exit || *exit != 0 || cli.Lines().size() != 3) {
            std::cerr << "round " << i + 1 << ": exit " << (exit ? *exit : -1) << ", " << cli.Lines().size()
                      << " stations\n"
                      << cli.Errors();
            return 1;
        }
        low = std::min(low, seconds);
        high = std::max(high, seconds);
        sum += seconds;
    }
    slave.Signal(SIGTERM);
    slave.Wait(std::chrono::seconds(5));
    std::printf(
        "live list of 126 addresses, 3 stations answering: %.2f s mean, %.2f s min, %.2f s max over %d "
        "rounds (whole quorvel-cli run)\n",
        sum / rounds, low, high, rounds);
    return 0;
}
