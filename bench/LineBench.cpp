// Figures of the link over a line paced as a real one: quorvel-cli against
// quorvel-slave (19200 baud pacing) on a pseudo-terminal, for 1 and 8 modules.
// Prints
//   - Data_Exchange cycles per second, standard and fast cycle, with the CPU
//     time quorvel-cli used per second;
//   - per injected fault kind: cycles and seconds of data lost (the widest
//     gap between fresh values beyond one normal cycle) and the status lines
//     after "Connected";
//   - the time from the device coming back to fresh values;
//   - 8 modules, standard and fast, with and without a 16 ms adapter latency
//     on both ends: the mean cycle against the line's bound with the idle
//     time before each request (TSYN), status changes, the master's late
//     answers and repeats, the simulator's collisions and requests it did
//     not hear for want of idle line (the long runs take `long seconds`);
//   - a 15 s flood: the time to "No answer from slave" and to values back;
//   - the live list of three stations behind a 2 ms adapter latency on both
//     ends (a low-latency adapter): the scans that found all three and the
//     scan time.
//
//   line_bench [seconds] [long seconds] [scans] [line]   (default 20, 60 and 5;
//   "line": only the 8-module runs and the live list)
#include "bench/BenchUsage.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SlaveCounts.h"
#include "tests/support/TempFolder.h"
#include "fdl/Framing.h"
#include "fdl/LineTiming.h"
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

// "collisions N sync M" as the last simulator counted them.
std::string Collisions()
{
    const auto counts = SlaveCounts::Read(StatsFile);
    return counts ? "collisions " + std::to_string(counts->collisions) + " sync " + std::to_string(counts->sync)
                  : std::string("collisions unknown");
}

// The simulator on COM2 with `args`, once its link is there.
std::unique_ptr<ChildProcess> StartSimulator(std::vector<std::string> args)
{
    args.insert(args.begin(), {"--com", "2", "--quiet", "--stats", StatsFile});
    auto slave = std::make_unique<ChildProcess>(QUORVEL_SLAVE_EXE, args);
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (!std::filesystem::exists(portdir::LinkPath(2)) && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return slave;
}

std::unique_ptr<ChildProcess> StartSlave(int modules, const std::vector<std::string>& more = {})
{
    std::vector<std::string> args{"--modules", std::to_string(modules)};
    args.insert(args.end(), more.begin(), more.end());
    return StartSimulator(args);
}

void StopSlave(ChildProcess& slave)
{
    slave.Signal(SIGTERM);  // ends cleanly and removes its link for the next run
    slave.Wait(std::chrono::seconds(5));
}

std::unique_ptr<ChildProcess> StartCli(int modules, int seconds, bool fast, const std::vector<std::string>& more = {})
{
    std::vector<std::string> args{
        "--com", "2", "--modules", std::to_string(modules), "--seconds", std::to_string(seconds)};
    if (fast) args.push_back("--fast");
    args.insert(args.end(), more.begin(), more.end());
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
        if (lines[i].text.rfind("WZM ", 0) != 0 && lines[i].text.rfind("stats ", 0) != 0)
            texts += (texts.empty() ? "" : ", ") + lines[i].text;
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
    std::printf(
        "modules %d %-8s: %.2f Data_Exchange cycles/s over %.1f s; status lines after Connected: %s; "
        "quorvel-cli CPU %.2f %% of a core; %s\n",
        modules, fast ? "fast" : "standard", span > 0 ? static_cast<double>(times.size() - 1) / span : 0.0, span,
        StatusAfter(lines, connected).c_str(), 100.0 * cli->CpuTime().count() / seconds, Collisions().c_str());
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
    std::printf(
        "modules %d fault %-10s: %.0f cycle(s), %.2f s of data lost (widest gap %.3f s, normal %.3f s); "
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

// The line's bound of one 8-module exchange at 19200 baud: a 25-byte request,
// the min TSDR, a 145-byte answer and the idle time before the next request.
double LineBoundMs()
{
    return std::chrono::duration<double, std::milli>(fdl::SlotTime(25, 145, 19200, {}) + fdl::SyncTime(19200)).count();
}

// "late L repeats R" from the counters quorvel-cli printed at exit.
std::string MasterCounts(const Lines& lines)
{
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const std::size_t at = it->text.find(" repeats ");
        if (it->text.rfind("stats ", 0) != 0 || at == std::string::npos) continue;
        const std::size_t end = it->text.find(" cycle ", at);
        return it->text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    }
    return "no counters";
}

// "cycle L ms mean M ms" from the counters quorvel-cli printed at exit.
double MeanCycleMs(const Lines& lines)
{
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const std::size_t at = it->text.find(" mean ");
        if (it->text.rfind("stats ", 0) == 0 && at != std::string::npos) return std::atof(it->text.c_str() + at + 6);
    }
    return 0;
}

// 8 modules for `seconds`: collisions, the mean cycle against the line's bound, status changes.
void Line8(int seconds, bool fast, int latency)
{
    const std::string ms = std::to_string(latency);
    std::vector<std::string> slaveArgs;
    std::vector<std::string> cliArgs{"--stats"};
    if (latency > 0) {
        slaveArgs = {"--adapter-latency", ms};
        cliArgs = {"--stats", "--adapter-latency", ms};
    }
    auto slave = StartSlave(8, slaveArgs);
    auto cli = StartCli(8, seconds, fast, cliArgs);
    cli->Wait(std::chrono::seconds(seconds + 30));
    StopSlave(*slave);
    const Lines lines = cli->Lines();
    const std::size_t connected = ConnectedLine(lines);
    // The adapter holds the answer back up to its latency and the request by up to a millisecond.
    const double mean = MeanCycleMs(lines), bound = LineBoundMs() + (latency > 0 ? latency + 1.0 : 0.0);
    std::printf(
        "modules 8 %-8s adapter latency %2d ms, %d s: mean cycle %.1f ms, line bound with TSYN and the "
        "adapter's delays %.1f ms (%+.1f %%); status lines after Connected: %s; %s; %s\n",
        fast ? "fast" : "standard", latency, seconds, mean, bound, bound > 0 ? 100.0 * (mean - bound) / bound : 0.0,
        connected < lines.size() ? StatusAfter(lines, connected).c_str() : "no connection", MasterCounts(lines).c_str(),
        Collisions().c_str());
}

// A flood of random bytes for 15 s from the 50th answer: how soon "No
// answer from slave" is said after it begins, and values are back after it ends.
void Flood()
{
    constexpr int floodSeconds = 15, seconds = 30;
    const auto begin = Clock::now();
    auto slave = StartSlave(1, {"--fault", "flood=" + std::to_string(floodSeconds) + "@50"});
    const auto slaveStart = Clock::now() - begin;
    auto cli = StartCli(1, seconds, false);
    cli->Wait(std::chrono::seconds(seconds + 30));
    StopSlave(*slave);
    std::optional<Clock::duration> floodAt;
    for (const auto& line : slave->Lines())
        if (line.text.find("fault flood") != std::string::npos) {
            floodAt = line.at + slaveStart;
            break;
        }
    if (!floodAt) {
        std::printf("flood=%d: the simulator did not say when the flood began\n", floodSeconds);
        return;
    }
    std::optional<Clock::duration> noAnswer, back;
    for (const auto& line : cli->Lines()) {  // the CLI started right after the simulator
        const auto at = line.at + slaveStart;
        if (!noAnswer && at > *floodAt && line.text == "No answer from slave") noAnswer = at;
        if (noAnswer && !back && at > *floodAt + std::chrono::seconds(floodSeconds) &&
            line.text.rfind("WZM 0 ", 0) == 0)
            back = at;
    }
    std::printf("flood=%d: \"No answer from slave\" %s after its start; values back %s after its end; %s\n",
                floodSeconds, noAnswer ? (std::to_string(Seconds(*noAnswer - *floodAt)) + " s").c_str() : "never",
                back ? (std::to_string(Seconds(*back - *floodAt) - floodSeconds) + " s").c_str() : "never",
                Collisions().c_str());
}

// Scans of three stations behind a low-latency adapter (2 ms on both ends).
void LiveList(int scans)
{
    auto slave =
        StartSimulator({"--station", "3:2", "--station", "7:8", "--station", "20:1", "--adapter-latency", "2"});
    int complete = 0;
    double longest = 0, total = 0;
    for (int i = 0; i < scans; ++i) {
        const auto start = Clock::now();
        ChildProcess cli(QUORVEL_CLI_PROGRAM, {"--com", "2", "--live-list", "--adapter-latency", "2"});
        cli.Wait(std::chrono::seconds(60));
        const double took = Seconds(Clock::now() - start);
        total += took;
        longest = std::max(longest, took);
        int found = 0;
        for (const auto& line : cli.Lines())
            for (const char* station : {"station 3 slave", "station 7 slave", "station 20 slave"})
                found += line.text.rfind(station, 0) == 0;
        complete += found == 3;
    }
    StopSlave(*slave);
    std::printf(
        "live list of stations 3, 7, 20, adapter latency 2 ms: all three in %d of %d scans; "
        "scan time mean %.1f s, longest %.1f s\n",
        complete, scans, total / scans, longest);
}

}  // namespace

constexpr const char* Usage = R"(Usage: line_bench [SECONDS [LONG_SECONDS [SCANS [line]]]]
Figures of the link over a paced line: cycles per second standard and fast,
the data each injected fault costs, the time from a device back to values,
8 modules with adapter latency, a flood, the live list behind an adapter.
  SECONDS       seconds of each short run (default 20)
  LONG_SECONDS  seconds of each run with 8 modules (default 60)
  SCANS         live list scans (default 5)
  line          only the runs with 8 modules and the live list
)";

int main(int argc, char** argv)
{
    const bool lineOnly = argc == 5 && std::string(argv[4]) == "line";
    if (const auto status = BenchUsage(lineOnly ? 4 : argc, argv, 3, Usage)) return *status;
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 20;
    const int longSeconds = argc > 2 ? std::max(2, std::atoi(argv[2])) : 60;
    const int scans = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is measured
    TempFolder folder;
    ScopedEnv portDir("QUORVEL_PORT_DIR", (folder.path / "ports").string());
    folder.MakeFolder("sys/class/tty");
    ScopedEnv sysfs("QUORVEL_SYSFS_ROOT", (folder.path / "sys").string());
    StatsFile = (folder.path / "slave-stats.json").string();
    for (int modules : {1, 8}) {
        if (lineOnly) break;
        Rate(modules, seconds, false);
        Rate(modules, seconds, true);
        for (const char* fault : {"fcs", "length", "noise", "sd1noise", "split", "late", "drop", "head", "silence=2"})
            Fault(modules, fault);
        DeviceBack(modules);
    }
    for (int latency : {0, 16})
        for (bool fast : {false, true}) Line8(longSeconds, fast, latency);
    if (!lineOnly) Flood();
    LiveList(scans);
    return 0;
}
