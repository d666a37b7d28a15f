// quorvel-cli: a headless check of the DP link. Runs the same master and
// serial channel as the window, prints the status texts and the process
// values, and exits 0 when connected at the end, 1 when not, 2 on a wrong
// option or a port error.
#include "CliOptions.h"
#include "ClockLoop.h"
#include "ModuleBackup.h"
#include "Monitor.h"
#include "TraceFeed.h"
#include "WeightLog.h"
#include "dp/LiveList.h"
#include "dp/Profi_dp.h"
#include "module/PageLayout.h"
#include "serial/PortDirectory.h"
#include "serial/PortTable.h"
#include "serial/VeltExcept.h"
#include "trace/TraceRecorder.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <exception>
#include <fstream>
#include <iterator>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

void InstallSignalHandlers()
{
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int Fail(const std::string& message)
{
    std::cerr << "quorvel-cli: " << message << '\n';
    return 2;
}

// A problem that stops a recording but not the link.
void Report(const std::string& message) { std::cerr << "quorvel-cli: " << message << '\n'; }

std::int64_t UtcMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Feeds the master's telegrams into `recorder`; its failure message goes to
// standard error while the link runs on.
bool StartTrace(T_DPV0& master, TTraceRecorder& recorder, const std::string& path, std::string& error)
{
    if (!recorder.Start(path, error, Report)) return false;
    master.SetOnTrace(TraceFeed(recorder));
    return true;
}

std::chrono::steady_clock::time_point Deadline(const TCliOptions& options)
{
    if (!options.seconds) return std::chrono::steady_clock::time_point::max();
    return std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                  std::chrono::duration<double>(*options.seconds));
}

constexpr auto StatsPeriod = std::chrono::seconds(10);

void PrintStats(const T_DPV0& master)
{
    std::cout << "stats " << CountersLine(master.Counters(), master.CommUnit().LineCounts()) << std::endl;
}

// Lists the stations on the bus; the exit status as the usage text says.
int LiveList(T_DPV0& master, TManualTimer& clock, const TCliOptions& options)
{
    TLiveListScan scan(master);
    const bool showProgress = isatty(STDERR_FILENO) != 0;
    scan.SetOnProgress([showProgress](int address, int last) {
        if (showProgress) std::cerr << "\rasking station " << address << " of " << last << std::flush;
    });
    scan.SetOnFound([&options, showProgress](const TStationFound& station) {
        if (showProgress) std::cerr << '\r';
        std::cout << StationLine(station) << '\n';
        if (options.diag && station.diagnosis) std::cout << diag::Line(*station.diagnosis) << '\n';
        std::cout.flush();
    });
    std::string failure;
    scan.SetOnDone([&failure](const std::string& error) { failure = error; });
    std::string error;
    if (!scan.Start(error)) return Fail(error);
    try {
        RunClockLoop(clock, Deadline(options), stopRequested, [&] {
            master.CommUnit().Port().RunPendingNotifications();
            if (!scan.Running()) stopRequested = 1;
        });
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    if (showProgress) std::cerr << "\r" << std::string(30, ' ') << '\r';
    if (scan.Running()) {
        scan.Cancel();
        std::cerr << "quorvel-cli: scan stopped before its end\n";
    }
    if (!failure.empty()) return Fail(failure);
    for (const TStationFound& station : scan.Stations())
        if (station.kind == TStationFound::Master) {
            std::cout << OtherMasterWarning(station.address) << '\n';
            break;
        }
    return scan.Stations().empty() ? 1 : 0;
}

// The run --backup or --restore asks for, checked before the link starts:
// a restore file that does not fit the pages is refused before anything is written.
std::optional<TBackupRun> PrepareRun(const TCliOptions& options, std::string& error)
{
    std::string where;
    const std::vector<backup::TPageLayout> layout = LoadPageLayout(where, error);
    if (layout.empty()) {
        if (error.empty()) error = where + " lists no parameter page";
        return std::nullopt;
    }
    if (!options.backupFile.empty()) return TBackupRun::ForBackup(layout, conf::IdentityKeys());
    std::ifstream in(options.restoreFile, std::ios::binary);
    std::string text;
    if (in) text.assign(std::istreambuf_iterator<char>(in), {});
    if (!in && !in.eof()) {
        error = "cannot read " + options.restoreFile;
        return std::nullopt;
    }
    const backup::TRead read = backup::Read(text, layout);
    if (!read.file) {
        error = options.restoreFile + ", " + read.error;
        return std::nullopt;
    }
    for (const backup::TItem& item : read.file->items)
        std::cout << (item.value ? "writes " : "skips ") << item.page << ' ' << item.number << ' ' << item.text
                  << (item.value ? " = " + std::to_string(*item.value) : std::string(" (refused in the backup)"))
                  << '\n';
    return TBackupRun::ForRestore(*read.file, layout);
}

std::string LocalTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// Writes the backup beside its place first, so a failed write keeps an older file whole.
bool WriteBackup(const std::string& path, const std::string& text, std::string& error)
{
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::remove(part.c_str());
            error = "cannot write " + path;
            return false;
        }
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        std::remove(part.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

// The end of --backup or --restore: the file or the differences, and the exit status.
int FinishRun(const TCliOptions& options, const TBackupRun& run)
{
    if (!run.Done()) {
        std::cerr << "quorvel-cli: stopped after " << run.StepsDone() << " of " << run.Steps() << " commands\n";
        return 1;
    }
    int refused = 0;
    for (const backup::TItem& item : run.Items()) refused += item.refusal.empty() ? 0 : 1;
    if (!options.backupFile.empty()) {
        const backup::TFile file{
            {LocalTime(), "Quorvel " QUORVEL_VERSION, options.slaveAddress, *options.module, run.Identification()},
            run.Items()};
        std::string error;
        if (!WriteBackup(options.backupFile, backup::Write(file), error)) return Fail(error);
        if (!run.Identification().empty()) std::cout << "module: " << run.Identification() << '\n';
        std::cout << run.Items().size() << " item(s) written to " << options.backupFile << ", " << refused
                  << " refused\n";
        return run.Complete() ? 0 : 1;
    }
    for (const std::string& difference : run.Differences()) std::cout << "difference: " << difference << '\n';
    std::cout << run.Items().size() << " item(s) written, "
              << (run.Complete() ? "every one confirmed" : std::to_string(run.Differences().size()) + " difference(s)")
              << '\n';
    return run.Complete() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string error;
    const auto options = ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) return Fail(error + "\nTry 'quorvel-cli --help'.");
    if (options->help) {
        std::cout << CliUsage();
        return 0;
    }
    InstallSignalHandlers();
    std::optional<TBackupRun> run;
    if (options->module && !(run = PrepareRun(*options, error))) return Fail(error);
    TWeightLog weights;  // a file that cannot be written is refused before the port opens
    if (!options->weightsFile.empty() && !weights.Start(options->weightsFile, error, Report)) return Fail(error);

    auto timer = std::make_unique<TManualTimer>();
    TManualTimer& clock = *timer;
    T_DPV0 master(nullptr, std::move(timer));
    master.SlaveAddress = options->slaveAddress;
    master.SetModuleCount(options->moduleCount);
    master.SetFastCycle(options->fast);
    master.CommUnit().SetAdapterAllowance(options->adapterLatency);
    TMonitor monitor(master, std::cout);
    TCommUnit& channel = master.CommUnit();
    channel.Port().SetPromptForPort(false);  // no one to ask: no port is an error
    TListPortChooser ports;
    try {
        if (options->comNumber)
            channel.OpenAndPoll(static_cast<std::uint16_t>(*options->comNumber));
        else
            channel.ScanPorts(ports);
    } catch (const ENoPortSelected&) {
        std::string ignored;
        if (!portdir::Ensure(ignored))
            return Fail("no COM port opens; " + ignored +
                        ". Give --com N for a serial device, or make the folder "
                        "yours and not writable by others, or name another in QUORVEL_PORT_DIR");
        return Fail("no COM port opens; link the device as COM<n> in " + portdir::Path() + " or give --com N");
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    const int com = channel.Port().ComNumber();
    std::cerr << "Using COM" << com << " (" << porttable::ResolveComPort(com) << ")";
    TTraceRecorder recorder;
    if (!options->traceFile.empty() && !StartTrace(master, recorder, options->traceFile, error)) return Fail(error);
    if (options->liveList) {
        std::cerr << ", asking station addresses " << TLiveListScan::FirstAddress << " to "
                  << TLiveListScan::LastAddress << '\n';
        const int status = LiveList(master, clock, *options);
        master.SetOnTrace({});
        recorder.Stop();
        return status;
    }
    std::cerr << ", slave address " << options->slaveAddress << ", " << options->moduleCount << " module(s)\n";
    if (options->diag)
        master.SetOnDiagnosis([](const diag::TDiagnosis& d) { std::cout << diag::Line(d) << std::endl; });

    std::optional<TBackupSession> session;
    if (run) session.emplace(master, static_cast<std::uint8_t>(*options->module), std::move(*run));
    if (session || weights.Recording())
        monitor.SetOnData(
            [&](const TByteString& telegram) {
                if (session) session->Received(telegram);
                weights.Add(telegram, master.ModuleCount(), UtcMilliseconds());
            },
            !session);
    channel.ClearBuffer();
    master.StartMaster();
    auto nextStats = std::chrono::steady_clock::now() + StatsPeriod;
    try {
        RunClockLoop(clock, Deadline(*options), stopRequested, [&] {
            channel.Port().RunPendingNotifications();
            if (options->stats && std::chrono::steady_clock::now() >= nextStats) {
                nextStats += StatsPeriod;
                PrintStats(master);
            }
            if (!session) return;
            session->Tick();
            if (session->Done()) stopRequested = 1;
        });
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    const bool connected = master.CurrentState().State == stDataExchange && monitor.Exchanging();
    master.StopMaster();  // marks the trace's end
    master.SetOnTrace({});
    recorder.Stop();  // a failure was reported when it happened
    if (options->stats) PrintStats(master);
    if (session) return FinishRun(*options, session->Run());
    return connected ? 0 : 1;
}
