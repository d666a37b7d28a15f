// Figures of the DP link, measured end to end: quorvel-cli against
// quorvel-slave on a pseudo-terminal, for 1 and for 8 modules. Prints the
// time from start to "Connected", the Data_Exchange cycles per second while
// connected, and the CPU time quorvel-cli used per second of run.
//
//   dp_link_bench [seconds]   (default 60 seconds per module count)
#include "bench/BenchUsage.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"
#include "serial/PortDirectory.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

double Seconds(ChildProcess::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

bool Measure(int modules, int seconds)
{
    ChildProcess slave(QUORVEL_SLAVE_EXE, {"--com", "2", "--modules", std::to_string(modules), "--quiet"});
    WaitUntil([] { return std::filesystem::exists(portdir::LinkPath(2)); });

    ChildProcess cli(QUORVEL_CLI_PROGRAM,
                     {"--com", "2", "--modules", std::to_string(modules), "--seconds", std::to_string(seconds)});
    const auto exit = cli.Wait(std::chrono::seconds(seconds + 30));
    const auto lines = cli.Lines();
    slave.Signal(SIGTERM);  // ends cleanly and removes its link for the next run
    slave.Wait(std::chrono::seconds(5));
    std::size_t connected = 0;
    while (connected < lines.size() && lines[connected].text != "Connected") ++connected;
    if (!exit || connected == lines.size()) {
        std::cerr << "modules " << modules << ": no connection\n" << cli.Errors();
        return false;
    }
    std::size_t cycles = 0;
    for (std::size_t i = connected + 1; i < lines.size(); ++i)
        if (lines[i].text.rfind("WZM 0 ", 0) == 0) ++cycles;
    const double connectedFor = static_cast<double>(seconds) - Seconds(lines[connected].at);
    std::printf(
        "modules %d: Connected after %.3f s; %.2f Data_Exchange cycles/s over %.1f s connected; "
        "quorvel-cli CPU %.2f ms per second of run (%.3f s CPU in %d s); exit %d\n",
        modules, Seconds(lines[connected].at), static_cast<double>(cycles) / connectedFor, connectedFor,
        1000.0 * cli.CpuTime().count() / seconds, cli.CpuTime().count(), seconds, *exit);
    return true;
}

}  // namespace

constexpr const char* Usage = R"(Usage: dp_link_bench [SECONDS]
Figures of quorvel-cli against quorvel-slave for 1 and 8 modules: time to
Connected, cycles per second, CPU per second.
  SECONDS  seconds of each run (default 60)
)";

int main(int argc, char** argv)
{
    if (const auto status = BenchUsage(argc, argv, 1, Usage)) return *status;
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    TempFolder folder;
    ScopedEnv portDir("QUORVEL_PORT_DIR", (folder.path / "ports").string());
    folder.MakeFolder("sys/class/tty");
    ScopedEnv sysfs("QUORVEL_SYSFS_ROOT", (folder.path / "sys").string());
    bool ok = true;
    for (int modules : {1, 8}) ok = Measure(modules, seconds) && ok;
    return ok ? 0 : 1;
}
