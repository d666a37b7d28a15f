// Figures of the link over a line paced as a real one: quorvel-cli against
// quorvel-slave (19200 baud pacing) on a pseudo-terminal, for 1 and 8 modules.
// Prints
//   - Data_Exchange cycles per second, standard and fast cycle, with the CPU
//     time quorvel-cli used per second;
//   - per injected fault kind: cycles and seconds of data lost (the widest
//     gap between fresh values beyond one normal cycle) and the status lines
//     after "Connected";
//   - the time from the device coming back to fresh values.
//
//   line_bench [seconds]   (default 20 seconds per rate run)
#include "ChildProcess.h"
#include "SlaveCounts.h"
#include "TempFolder.h"
#include "serial/PortDirectory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

using Clock = ChildProcess::Clock;
using Lines = std::vector<ChildProcess::Line>;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string StatsFile;  // the simulator's counts, written when it stops

// "collisions N" as the last simulator counted them.
std::string Collisions()
{
    const auto counts = SlaveCounts::Read(StatsFile);
    return counts ? "collisions " + std::to_string(counts->collisions) : std::string("collisions unknown");
}

std::unique_ptr<ChildProcess> StartSlave(int modules, const std::vector<std::string>& more = {})
{
    std::vector<std::string> args{"--com", "2", "--modules", std::to_string(modules), "--quiet", "--stats", StatsFile};
    args.insert(args.end(), more.begin(), more.end());
    auto slave = std::make_unique<ChildProcess>(QUORVEL_SLAVE_EXE, args);
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (!std::filesystem::exists(portdir::LinkPath(2)) && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return slave;
}

void StopSlave(ChildProcess& slave)
{
    slave.Signal(SIGTERM);  // ends cleanly and removes its link for the next run
    slave.Wait(std::chrono::seconds(5));
}

std::unique_ptr<ChildProcess> StartCli(int modules, int seconds, bool fast)
{
    std::vector<std::string> args{"--com", "2", "--modules", std::to_string(modules), "--seconds", std::to_string(seconds)};
    if (fast) args.push_back("--fast");
    return std::make_unique<ChildProcess>(QUORVEL_CLI_PROGRAM, args);
}

std::size_t ConnectedLine(const Lines& lines)
{
    std::size_t i = 0;
    while (i < lines.size() && lines[i].text != "Connected") ++i;
    return i;
}

// The times of the fresh values (the first module's lines) after `from`.
std::vector<Clock::duration> ValueTimes(const Lines& lines, std::size_t from)
{
    std::vector<Clock::duration> times;
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].text.rfind("WZM 0 ", 0) == 0) times.push_back(lines[i].at);
    return times;
}

std::string StatusAfter(const Lines& lines, std::size_t from)
{
    std::string texts;
    for (std::size_t i = from + 1; i < lines.size(); ++i)
        if (lines[i].text.rfind("WZM ", 0) != 0) texts += (texts.empty() ? "" : ", ") + lines[i].text;
    return texts.empty() ? "none" : texts;
}

void Rate(int modules, int seconds, bool fast)
{
    auto slave = StartSlave(modules);
    auto cli = StartCli(modules, seconds, fast);
    cli->Wait(std::chrono::seconds(seconds + 30));
    StopSlave(*slave);
    const Lines lines = cli->Lines();
    const std::size_t connected = ConnectedLine(lines);
    if (connected == lines.size()) {
        std::printf("modules %d %s: no connection\n", modules, fast ? "fast" : "standard");
        return;
    }
    const auto times = ValueTimes(lines, connected);
    const double span = times.size() > 1 ? Seconds(times.back() - times.front()) : 0;
    std::printf("modules %d %-8s: %.2f Data_Exchange cycles/s over %.1f s; status lines after Connected: %s; "
                "quorvel-cli CPU %.2f %% of a core; %s\n",
                modules, fast ? "fast" : "standard", span > 0 ? static_cast<double>(times.size() - 1) / span : 0.0,
                span, StatusAfter(lines, connected).c_str(), 100.0 * cli->CpuTime().count() / seconds,
                Collisions().c_str());
}

void Fault(int modules, const std::string& fault)
{
    constexpr int seconds = 9;
    auto slave = StartSlave(modules, {"--fault", fault + "@30"});
    auto cli = StartCli(modules, seconds, false);
    cli->Wait(std::chrono::seconds(seconds + 30));
    StopSlave(*slave);
    const Lines lines = cli->Lines();
    const std::size_t connected = ConnectedLine(lines);
    const auto times = ValueTimes(lines, connected);
    if (times.size() < 10) {
        std::printf("modules %d fault %-10s: too few values (%zu)\n", modules, fault.c_str(), times.size());
        return;
    }
    std::vector<double> gaps;
    for (std::size_t i = 1; i < times.size(); ++i) gaps.push_back(Seconds(times[i] - times[i - 1]));
    std::vector<double> sorted = gaps;
    std::sort(sorted.begin(), sorted.end());
    const double normal = sorted[sorted.size() / 2];
    const double widest = sorted.back();
    std::printf("modules %d fault %-10s: %.0f cycle(s), %.2f s of data lost (widest gap %.3f s, normal %.3f s); "
                "status lines after Connected: %s; %s\n",
                modules, fault.c_str(), std::max(0.0, std::round(widest / normal) - 1), widest - normal, widest, normal,
                StatusAfter(lines, connected).c_str(), Collisions().c_str());
}

void DeviceBack(int modules)
{
    constexpr int seconds = 10;
    auto slave = StartSlave(modules);
    const auto cliStart = Clock::now();
    auto cli = StartCli(modules, seconds, false);
    if (!cli->WaitForLine("Connected", std::chrono::seconds(5))) {
        std::printf("modules %d device back: no connection\n", modules);
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    StopSlave(*slave);  // the line goes with it
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    slave = StartSlave(modules);
    const auto back = Clock::now() - cliStart;
    cli->Wait(std::chrono::seconds(seconds + 30));
    StopSlave(*slave);
    const Lines lines = cli->Lines();
    for (const auto& line : lines)
        if (line.at > back && line.text.rfind("WZM 0 ", 0) == 0) {
            std::printf("modules %d device back: fresh values %.2f s after the device came back\n", modules,
                        Seconds(line.at - back));
            return;
        }
    std::printf("modules %d device back: no fresh values within %d s\n", modules, seconds);
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 20;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is measured
    TempFolder folder;
    ScopedEnv portDir("QUORVEL_PORT_DIR", (folder.path / "ports").string());
    folder.MakeFolder("sys/class/tty");
    ScopedEnv sysfs("QUORVEL_SYSFS_ROOT", (folder.path / "sys").string());
    StatsFile = (folder.path / "slave-stats.json").string();
    for (int modules : {1, 8}) {
        Rate(modules, seconds, false);
        Rate(modules, seconds, true);
        for (const char* fault : {"fcs", "length", "noise", "sd1noise", "split", "late", "drop", "silence=2"})
            Fault(modules, fault);
        DeviceBack(modules);
    }
    return 0;
}
