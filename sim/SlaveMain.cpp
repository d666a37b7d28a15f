// quorvel-slave: a PROFIBUS DP slave station with WZM weighing modules on a
// pseudo-terminal, registered as a COM port.
#include "ControlFifo.h"
#include "LoadControl.h"
#include "ModuleParams.h"
#include "PlantMaster.h"
#include "PtyLine.h"
#include "SlaveOptions.h"
#include "SlaveServer.h"
#include "SlaveStation.h"
#include "SlaveStats.h"
#include "base/ComName.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <vector>
#include <fcntl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One line on standard output. Into a pipe it is written without waiting:
// a reader that stops reading loses lines but never stalls the station.
void Say(const std::string& line)
{
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t written = write(STDOUT_FILENO, text.data(), text.size());
}

void NeverWaitOnAPipe()
{
    struct stat st {};
    if (fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode))
        fcntl(STDOUT_FILENO, F_SETFL, fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);
}

// Signals arrive on descriptors that the server polls, never in a handler:
// the stop signals on one, SIGUSR1 (write the statistics now) on another.
int SignalDescriptor(std::initializer_list<int> signals)
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : signals) sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

// Writes the statistics to `path` unless it is empty; false (and said) when that fails.
bool WriteStatsFile(const std::string& path, const sim::TSlaveStats& stats)
{
    std::string why;
    if (path.empty() || sim::WriteStats(path, stats, why)) return true;
    std::cerr << "quorvel-slave: " << why << std::endl;
    return false;
}

// Reads the control lines waiting and carries them out; a line that is not a
// command is refused on standard error and changes nothing.
void ServeControl(sim::TControlFifo& fifo, const std::vector<sim::TSlaveStation*>& stations)
{
    for (const auto& line : fifo.ReadLines()) {
        std::string printable = line.text;
        for (char& c : printable)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
        std::string error;
        std::optional<sim::TLoadCommand> command;
        if (line.tooLong)
            error = "longer than " + std::to_string(sim::TControlFifo::MaxLine) + " characters";
        else
            command = sim::ParseControlLine(line.text, error);
        std::string said;
        if (command && sim::ApplyLoadCommand(*command, stations, said))
            Say("control: " + said);
        else if (command || !error.empty())
            std::cerr << "quorvel-slave: control line '" << printable << (line.tooLong ? "...' " : "' ")
                      << "refused: " << (command ? said : error) << std::endl;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    sim::TSlaveOptions options;
    std::string error;
    if (!sim::ParseSlaveOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::cerr << "quorvel-slave: " << error << "\n\n" << sim::SlaveUsage();
        return 2;
    }
    if (options.help) {
        std::cout << sim::SlaveUsage();
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);
    NeverWaitOnAPipe();
    const int stopFd = SignalDescriptor({SIGINT, SIGTERM, SIGHUP});
    const int dumpFd = SignalDescriptor({SIGUSR1});
    if (stopFd < 0 || dumpFd < 0) {
        std::perror("quorvel-slave: signalfd");
        return 2;
    }
    // The statistics file is written at start, so that a path that cannot be
    // written is refused at once rather than found out at the end.
    if (!WriteStatsFile(options.statsFile, sim::TSlaveStats{})) {
        close(stopFd);
        close(dumpFd);
        return 2;
    }
    try {
        sim::TPtyLine line(options.baud);
        sim::TComLink link(options.com, line.DevicePath(), options.replace);
        std::vector<std::unique_ptr<sim::TSlaveStation>> stations;
        std::vector<sim::TSlaveStation*> served;
        std::string names;
        for (std::size_t i = 0; i < options.stations.size(); ++i) {
            const sim::TStationSpec& spec = options.stations[i];
            // Each station's load noise has a seed of its own.
            stations.push_back(std::make_unique<sim::TSlaveStation>(
                static_cast<std::uint8_t>(spec.address), spec.modules, options.seed + static_cast<std::uint32_t>(i),
                sim::SimClock::now()));
            served.push_back(stations.back().get());
            const std::string name = "station " + std::to_string(spec.address);
            names +=
                (names.empty() ? "" : ", ") + name + " with " + std::to_string(spec.modules) + " weighing module(s)";
            if (!options.quiet)
                stations.back()->Dp().SetOnStateChange(
                    [name](sim::TSlaveState, sim::TSlaveState to, const std::string& why) {
                        Say(name + ": " + sim::StateName(to) + " (" + why + ")");
                    });
        }
        std::string said;
        for (const sim::TLoadCommand& load : options.loads) sim::ApplyLoadCommand(load, served, said);
        std::unique_ptr<sim::TControlFifo> control;
        if (!options.controlFile.empty()) control = std::make_unique<sim::TControlFifo>(options.controlFile);
        Say(ComName(options.com) + " registered: " + link.Path() + " -> " + line.DevicePath());
        std::vector<std::unique_ptr<sim::TLineTap>> taps;
        for (const int com : options.taps) {
            taps.push_back(std::make_unique<sim::TLineTap>(com, options.replace, options.baud, options.seed));
            Say(ComName(com) + " registered as a tap of the line: " + taps.back()->Path() + " -> " +
                taps.back()->DevicePath());
        }
        Say("DP slave " + names + ", Ident_Number 09C5; stop with Ctrl+C");
        const sim::TLineOptions paced{options.instant, options.faults,
                                      options.seed,    sim::Millis(options.adapterLatencyMs),
                                      options.sd3,     options.baud};
        sim::TSlaveServer server(
            served, line.Fd(), [](const std::string& text) { std::cerr << "quorvel-slave: " << text << std::endl; },
            paced, Say);
        for (auto& tap : taps) server.AddTap(*tap);
        std::unique_ptr<sim::TPlantMaster> plant;
        if (options.plant) {
            std::vector<sim::TPlantMaster::TStation> polled;
            for (const auto& spec : options.stations)
                polled.push_back({static_cast<std::uint8_t>(spec.address), spec.modules});
            plant = std::make_unique<sim::TPlantMaster>(static_cast<std::uint8_t>(options.plantMaster),
                                                        options.plantMasters, polled, options.baud,
                                                        sim::TModuleParams().standard.Count(), sim::SimClock::now());
            server.SetPlant(*plant);
            Say("plant: master " + std::to_string(options.plantMaster) +
                (options.plantMasters == 2 ? " and master " + std::to_string(options.plantMaster + 1) : "") +
                " on the line at " + std::to_string(options.baud) + " baud");
        }
        std::vector<sim::TSlaveServer::TWatch> watches = {{dumpFd, [&]() {
                                                               signalfd_siginfo info;
                                                               while (read(dumpFd, &info, sizeof info) ==
                                                                      static_cast<ssize_t>(sizeof info)) {
                                                               }
                                                               WriteStatsFile(options.statsFile, server.Stats());
                                                           }}};
        if (control) watches.push_back({control->Fd(), [&]() { ServeControl(*control, served); }});
        const int result = server.Run(stopFd, watches);
        const bool written = WriteStatsFile(options.statsFile, server.Stats());
        std::string removed = ComName(options.com);
        for (const int com : options.taps) removed += ", " + ComName(com);
        if (result == 0) Say("stopped; " + removed + " removed");
        close(stopFd);
        close(dumpFd);
        return result != 0 ? result : written ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "quorvel-slave: " << e.what() << std::endl;
        close(stopFd);
        close(dumpFd);
        return 2;
    }
}
