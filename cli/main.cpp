// quorvel-cli: a headless check of the DP link. Runs the same master and
// serial channel as the window, prints the status texts and the process
// values, and exits with the status of the outcome (ExitStatus.h).
#include "CliOptions.h"
#include "CalibrateCheck.h"
#include "ClockLoop.h"
#include "ExitStatus.h"
#include "Gateway.h"
#include "ListenView.h"
#include "ModuleBackup.h"
#include "core/OutputFile.h"
#include "Monitor.h"
#include "core/TraceFeed.h"
#include "WeightLog.h"
#include "dp/LiveList.h"
#include "dp/Profi_dp.h"
#include "module/core/PageLayout.h"
#include "serial/PortDirectory.h"
#include "serial/PortTable.h"
#include "serial/SystemInfo.h"
#include "serial/VeltExcept.h"
#include "trace/TraceRecorder.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <exception>
#include <iterator>
#include <iostream>
#include <memory>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

// The loop waits with a time-out, so a handler that only sets the flag ends
// it within one poll interval.
void InstallSignalHandlers()
{
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe on standard output is an error code
#endif
}

int Fail(const std::string& message)
{
    std::cerr << "quorvel-cli: " << message << '\n';
    return exitstatus::BadInput;
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

void PrintStats(const T_DPV0& master, const std::optional<TGateway>& gateway)
{
    std::cout << "stats " << CountersLine(master.Counters(), master.CommUnit().LineCounts());
    if (gateway) std::cout << " mqtt dropped " << gateway->Dropped();
    std::cout << std::endl;
}

// quorvel/<host name>/<slave address>, the host name's characters that
// would make levels or wildcards of it replaced.
std::string DefaultTopic(int slaveAddress)
{
    std::string host = HostName();
    for (char& c : host)
        if (c == '/' || c == '+' || c == '#') c = '_';
    return "quorvel/" + host + "/" + std::to_string(slaveAddress);
}

// Lists the stations on the bus; the exit status as the usage text says.
int LiveList(T_DPV0& master, TManualTimer& clock, const TCliOptions& options)
{
    TLiveListScan scan(master);
    const bool showProgress = StandardErrorIsTerminal();
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
    return scan.Stations().empty() ? exitstatus::LinkDown : exitstatus::AllWell;
}

// --baud auto: listens at each DP rate the port accepts for up to a second,
// round after round, and keeps the first at which valid telegrams arrive;
// says on standard error what it heard at each. False when none did before
// `deadline` or a stop.
bool SettleBaud(T_DPV0& master, TManualTimer& clock, std::chrono::steady_clock::time_point deadline,
                buslisten::TBusListener& listener)
{
    TCommUnit& channel = master.CommUnit();
    while (!stopRequested && std::chrono::steady_clock::now() < deadline) {
        for (const int rate : DpBaudRates) {
            try {
                channel.Port().SetBaud(rate);
            } catch (const std::exception& e) {
                std::cerr << "baud " << rate << ": not taken by the port (" << e.what() << ")\n";
                continue;
            }
            channel.ClearBuffer();
            listener = {};
            volatile std::sig_atomic_t settled = 0;
            const auto until = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::seconds(1));
            RunClockLoop(clock, until, settled, [&] {
                channel.Port().RunPendingNotifications();
                if (stopRequested || listener.Totals().telegrams > 0) settled = 1;
            });
            const buslisten::TLineTotals& heard = listener.Totals();
            std::size_t bad = 0;
            for (const std::uint64_t n : heard.bad) bad += n;
            std::cerr << "baud " << rate << ": " << heard.telegrams << " valid telegram(s), " << bad
                      << " bad frame(s), " << heard.noiseBytes << " noise byte(s)\n";
            if (heard.telegrams > 0) return true;
            if (stopRequested || std::chrono::steady_clock::now() >= deadline) return false;
        }
    }
    return false;
}

// --listen: hears the line through the idle master's channel, which the
// port refuses to send on, and prints what it hears; exit 0 once a valid
// telegram was heard.
int Listen(T_DPV0& master, TManualTimer& clock, const TCliOptions& options, TWeightLog& weights,
           std::optional<TGateway>& gateway)
{
    buslisten::TBusListener listener;
    TListenView view(std::cout, options.addressGiven ? std::optional<int>(options.slaveAddress) : std::nullopt);
    bool heard = false;
    master.SetOnHeard([&](const TWirePiece& piece) {
        listener.Piece(piece.kind, piece.fault, piece.bytes, piece.arrived);
        heard = true;
    });
    const auto printStats = [&] {
        const auto now = std::chrono::steady_clock::now();
        for (const auto& [address, station] : listener.Stations())
            std::cout << TListenView::StatsLine(address, station, now) << '\n';
        const buslisten::TLineTotals& totals = listener.Totals();
        std::cout << "stats line telegrams " << totals.telegrams << " unpaired answers " << totals.unpaired
                  << " noise bytes " << totals.noiseBytes << std::endl;
    };
    auto nextStats = std::chrono::steady_clock::now() + StatsPeriod;
    const auto deadline = Deadline(options);
    const auto listening = [&](const std::string& text) {
        if (gateway) gateway->Status("listening", text, UtcMilliseconds());
    };
    const auto baudText = [&] { return std::to_string(master.CommUnit().Port().Baud()) + " baud"; };
    std::uint64_t published = 0;  // the slave's exchanges already handed to the gateway
    try {
        if (!options.baud) {
            listening("Listening: trying each baud rate");
            if (SettleBaud(master, clock, deadline, listener)) std::cerr << "listening at " << baudText() << "\n";
        }
        listening(listener.Totals().telegrams > 0 || options.baud ? "Listening at " + baudText()
                                                                  : "Listening: no traffic");
        RunClockLoop(clock, deadline, stopRequested, [&] {
            master.CommUnit().Port().RunPendingNotifications();
            if (heard) view.Update(listener, weights, UtcMilliseconds());
            heard = false;
            const auto slave = listener.Stations().find(static_cast<std::uint8_t>(options.slaveAddress));
            if (gateway && slave != listener.Stations().end() && slave->second.modules &&
                slave->second.exchanges != published) {
                published = slave->second.exchanges;
                gateway->Values(slave->second.inputs, *slave->second.modules, UtcMilliseconds());
            }
            if (options.stats && std::chrono::steady_clock::now() >= nextStats) {
                nextStats += StatsPeriod;
                printStats();
            }
        });
    } catch (const std::exception& e) {
        master.SetOnHeard({});
        return Fail(e.what());
    }
    master.SetOnHeard({});
    if (options.stats) printStats();
    if (listener.Totals().telegrams == 0) std::cerr << "quorvel-cli: no valid telegram heard\n";
    return listener.Totals().telegrams > 0 ? exitstatus::AllWell : exitstatus::LinkDown;
}

// The run --backup or --restore asks for, checked before the link starts:
// a restore file that does not fit the pages is refused before anything is written.
std::optional<TBackupRun> PrepareRun(const TCliOptions& options, std::string& error)
{
    std::string where;
    std::vector<std::string> said;
    const std::vector<backup::TPageLayout> layout = LoadPageLayout(where, said, error);
    for (const std::string& line : said) Report(line);  // the file used, and any skipped before it
    if (layout.empty()) {
        if (error.empty()) error = where + " lists no parameter page";
        return std::nullopt;
    }
    if (!options.backupFile.empty()) return TBackupRun::ForBackup(layout, conf::IdentityKeys());
    const backup::TRead read = backup::ReadFile(options.restoreFile, layout);
    if (!read.file) {
        error = read.error;
        return std::nullopt;
    }
    if (read.unchecked) {
        if (!options.acceptUnchecked) {
            error = backup::UncheckedWarning(options.restoreFile) + " Give --accept-unchecked to restore it anyway.";
            return std::nullopt;
        }
        Report("warning: " + backup::UncheckedWarning(options.restoreFile));
    }
    return TBackupRun::ForRestore(*read.file, layout, options.writeAll, options.partial);
}

// The files the run writes, checked before the port opens: each one may be
// written, and no two options name one file (--restore's file included).
bool CheckOutputs(const TCliOptions& options, std::string& error)
{
    const std::pair<const char*, const std::string*> files[] = {{"--backup", &options.backupFile},
                                                                {"--trace", &options.traceFile},
                                                                {"--weights", &options.weightsFile},
                                                                {"--restore", &options.restoreFile}};
    for (std::size_t i = 0; i < std::size(files); ++i) {
        const auto& [name, path] = files[i];
        if (path->empty()) continue;
        if (std::string(name) != "--restore" && !outfile::CheckDestination(*path, error)) {
            error = std::string(name) + ": " + error;
            return false;
        }
        for (std::size_t k = i + 1; k < std::size(files); ++k)
            if (!files[k].second->empty() && outfile::SameFile(*path, *files[k].second)) {
                error = std::string(name) + " and " + files[k].first + " name one file, " + *path;
                return false;
            }
    }
    return true;
}

// --list-ports: the port table as the port scan sees it.
int ListPorts()
{
    std::string message;
    const std::vector<porttable::TPortEntry> table = porttable::CurrentPortTable(message);
    if (!message.empty()) Report(message);
    for (const porttable::TPortEntry& entry : table) std::cout << porttable::ListLine(entry) << '\n';
    if (table.empty())
        Report(portdir::Path().empty() ? "no COM port"
                                       : "no COM port: no serial device, and no COM<n> link in " + portdir::Path());
    return exitstatus::AllWell;
}

std::string LocalTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!LocalCalendarTime(now, local)) return "unknown";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// The end of --backup or --restore: the file or the differences, and the exit status.
int FinishRun(const TCliOptions& options, const TBackupRun& run)
{
    using namespace exitstatus;
    if (!run.Done()) {
        std::cerr << "quorvel-cli: stopped after " << run.StepsDone() << " of " << run.Steps() << " commands\n";
        return LinkDown;
    }
    if (!options.backupFile.empty()) {
        int refused = 0;
        for (const backup::TItem& item : run.Items()) refused += item.refusal.empty() ? 0 : 1;
        const backup::TFile file{
            {LocalTime(), "Quorvel " QUORVEL_VERSION, options.slaveAddress, *options.module, run.Identification()},
            run.Items()};
        std::string error;
        const std::string path = run.BackupPath(options.backupFile);
        if (!outfile::WriteWhole(path, backup::Write(file), error)) {
            Report(error);
            return OutputCut;
        }
        if (!run.Identification().empty()) std::cout << "module: " << run.Identification() << '\n';
        std::cout << run.Items().size() << " item(s) written to " << path << ", " << refused << " refused\n";
        if (path != options.backupFile)
            std::cout << run.Unanswered() << " item(s) not answered: " << options.backupFile
                      << " keeps its older backup\n";
        return run.Complete() ? AllWell : ItemsLeft;
    }
    for (const std::string& line : run.ReportLines()) std::cout << "difference: " << line << '\n';
    std::cout << run.Summary() << '\n';
    return run.Complete() ? AllWell : ItemsLeft;
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
    if (options->listPorts) return ListPorts();
    InstallSignalHandlers();
    MarkProgramRunning();
    std::optional<TBackupRun> run;
    if (options->module && !options->calibrateCheck && !(run = PrepareRun(*options, error))) return Fail(error);
    if (!CheckOutputs(*options, error)) return Fail(error);
    TWeightLog weights;  // a file that cannot be written is refused before the port opens
    if (!options->weightsFile.empty() && !weights.Start(options->weightsFile, error, Report)) return Fail(error);
    std::optional<TGateway> gateway;
    if (!options->mqttUrl.empty()) {
        const auto settings = GatewaySettings(*options, error);
        if (!settings) return Fail(error);
        gateway.emplace(*options,
                        options->mqttTopic.empty() ? DefaultTopic(options->slaveAddress) : options->mqttTopic);
        if (!gateway->Start(*settings, Report, error)) return Fail(error);
    }

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
    channel.Port().SetBaud(options->baud.value_or(19200));
    channel.SetListenOnly(options->listen);  // before the open: RTS never rises
    TListPortChooser ports;
    try {
        if (options->comNumber)
            channel.OpenAndPoll(static_cast<std::uint16_t>(*options->comNumber));
        else
            channel.ScanPorts(ports);
    } catch (const ENoPortSelected&) {
        std::string ignored;
        if (portdir::Path().empty()) return Fail("no COM port opens; give --com N");
        if (!portdir::Ensure(ignored))
            return Fail("no COM port opens; " + ignored +
                        ". Give --com N for a serial device, or make the folder "
                        "yours and not writable by others, or name another in QUORVEL_PORT_DIR");
        return Fail("no COM port opens; link the device as COM<n> in " + portdir::Path() + " or give --com N");
    } catch (const EBadId& e) {
        std::string ignored;  // the folder's state is told when no port opens at all
        if (!options->comNumber) return Fail(e.what());
        return Fail(porttable::NoSuchPort(*options->comNumber, porttable::CurrentPortTable(ignored)));
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    const int com = channel.Port().ComNumber();
    std::cerr << "Using COM" << com << " (" << porttable::ResolveComPort(com) << ")";
    TTraceRecorder recorder;
    if (!options->traceFile.empty() && !StartTrace(master, recorder, options->traceFile, error)) return Fail(error);
    if (options->listen) {
        if (options->baud)
            std::cerr << ", listening at " << channel.Port().Baud() << " baud, sending nothing\n";
        else
            std::cerr << ", listening, sending nothing; trying each baud rate\n";
        const int status = Listen(master, clock, *options, weights, gateway);
        master.SetOnTrace({});
        return exitstatus::First(
            status, recorder.Stop().empty() && !weights.Stopped() ? exitstatus::AllWell : exitstatus::OutputCut);
    }
    if (options->liveList) {
        std::cerr << ", asking station addresses " << TLiveListScan::FirstAddress << " to "
                  << TLiveListScan::LastAddress << '\n';
        const int status = LiveList(master, clock, *options);
        master.SetOnTrace({});
        return exitstatus::First(status, recorder.Stop().empty() ? exitstatus::AllWell : exitstatus::OutputCut);
    }
    std::cerr << ", slave address " << options->slaveAddress << ", " << options->moduleCount << " module(s)\n";
    if (options->diag || gateway)
        master.SetOnDiagnosis([&](const diag::TDiagnosis& d) {
            if (options->diag) std::cout << diag::Line(d) << std::endl;
            if (gateway) gateway->Diagnosis(d);
        });
    if (gateway)
        monitor.SetOnStatus(
            [&](const std::string& text) { gateway->Status(LinkState(text), text, UtcMilliseconds()); });

    std::optional<TBackupSession> session;
    if (run) session.emplace(master, static_cast<std::uint8_t>(*options->module), std::move(*run));
    std::optional<TCalibrateCheck> check;
    if (options->calibrateCheck)
        check.emplace(master, static_cast<std::uint8_t>(*options->module), *options->calibrateCheck);
    if (session || check || weights.Recording() || gateway)
        monitor.SetOnData(
            [&](const TByteString& telegram) {
                if (session) session->Received(telegram);
                if (check) check->Received(telegram);
                weights.Add(telegram, master.ModuleCount(), UtcMilliseconds());
                if (gateway) gateway->Values(telegram, master.ModuleCount(), UtcMilliseconds());
            },
            !session && !check);
    channel.ClearBuffer();
    monitor.MarkStart();
    master.StartMaster();
    auto nextStats = std::chrono::steady_clock::now() + StatsPeriod;
    auto nextBus = std::chrono::steady_clock::now() + TGateway::BusPeriod;
    try {
        RunClockLoop(clock, Deadline(*options), stopRequested, [&] {
            channel.Port().RunPendingNotifications();
            if (options->stats && std::chrono::steady_clock::now() >= nextStats) {
                nextStats += StatsPeriod;
                PrintStats(master, gateway);
            }
            if (gateway && std::chrono::steady_clock::now() >= nextBus) {
                nextBus += TGateway::BusPeriod;
                gateway->Bus(master.Counters(), master.CommUnit().LineCounts());
            }
            if (check) {
                check->Tick();
                if (check->Done()) stopRequested = 1;
            }
            if (!session) return;
            session->Tick();
            if (session->Run().AwaitingWrite() && !session->Run().NextCommand()) {
                for (const std::string& line : session->Run().PlanLines()) std::cout << line << '\n';
                session->StartWriting();
            }
            if (session->Done()) stopRequested = 1;
        });
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    const bool connected = master.CurrentState().State == stDataExchange && monitor.Exchanging();
    master.StopMaster();  // marks the trace's end
    master.SetOnTrace({});
    // A failure was reported when it happened; the status still tells of it.
    const bool recordsWhole = recorder.Stop().empty() && !weights.Stopped();
    if (options->stats) {
        PrintStats(master, gateway);
        std::cout << monitor.TimingLine() << std::endl;
    }
    using namespace exitstatus;
    int status = connected ? AllWell : LinkDown;
    if (session) status = FinishRun(*options, session->Run());
    if (check) {
        for (const std::string& line : check->Lines()) std::cout << line << '\n';
        status = check->Passed() ? AllWell : CheckFailed;
    }
    return First(status, recordsWhole ? AllWell : OutputCut);
}
