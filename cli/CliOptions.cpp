#include "CliOptions.h"

#include "CalibrateCheck.h"

#include "base/ComName.h"
#include "base/IntegerText.h"
#include "serial/SystemInfo.h"

#include <charconv>
#include <cmath>

namespace {

// A whole decimal number in [low, high], nothing else.
std::optional<int> WholeNumber(const std::string& text, int low, int high)
{
    const auto value = ParseInteger(text, low, high);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

constexpr int MaxSeconds = TCliOptions::MaxSeconds;

std::optional<double> PositiveSeconds(const std::string& text)
{
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value) || value <= 0 || value > MaxSeconds) return std::nullopt;
    return value;
}

}  // namespace

std::optional<TCliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error)
{
    TCliOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--fast" || name == "--list-ports") {
            (name == "--fast" ? options.fast : options.listPorts) = true;
            continue;
        }
        if (name == "--all" || name == "--accept-unchecked" || name == "--partial") {
            (name == "--all"       ? options.writeAll
             : name == "--partial" ? options.partial
                                   : options.acceptUnchecked) = true;
            continue;
        }
        if (name == "--live-list" || name == "--diag" || name == "--stats") {
            (name == "--diag" ? options.diag : name == "--stats" ? options.stats : options.liveList) = true;
            continue;
        }
        if (name != "--com" && name != "--addr" && name != "--modules" && name != "--seconds" &&
            name != "--adapter-latency" && name != "--trace" && name != "--weights" && name != "--module" &&
            name != "--backup" && name != "--restore" && name != "--calibrate-check") {
            error = "unknown option '" + name + "'";
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        const std::string got = " (got '" + value + "')";
        if (name == "--com") {
            options.comNumber = WholeNumber(value, 1, MaxComNumber);
            if (!options.comNumber) error = "--com must be a port number from 1 to 255" + got;
        } else if (name == "--addr") {
            const auto n = WholeNumber(value, 0, 126);
            if (n)
                options.slaveAddress = *n;
            else
                error = "--addr must be a PROFIBUS address from 0 to 126" + got;
        } else if (name == "--modules") {
            const auto n = WholeNumber(value, 1, 8);
            if (n)
                options.moduleCount = *n;
            else
                error = "--modules must be a number of modules from 1 to 8" + got;
        } else if (name == "--trace" || name == "--weights" || name == "--backup" || name == "--restore") {
            (name == "--trace"     ? options.traceFile
             : name == "--weights" ? options.weightsFile
             : name == "--backup"  ? options.backupFile
                                   : options.restoreFile) = value;
            if (value.empty()) error = name + " needs a file name";
        } else if (name == "--adapter-latency") {
            const auto n = WholeNumber(value, 0, 1000);
            if (n)
                options.adapterLatency = *n;
            else
                error = "--adapter-latency must be a number of milliseconds from 0 to 1000" + got;
        } else if (name == "--calibrate-check") {
            options.calibrateCheck = ParseReferenceKg(value);
            if (!options.calibrateCheck) error = "--calibrate-check must be a reference weight in kg above 0" + got;
        } else if (name == "--module") {
            options.module = WholeNumber(value, 0, 7);
            if (!options.module) error = "--module must be a module's unit address from 0 to 7" + got;
        } else {
            options.seconds = PositiveSeconds(value);
            if (!options.seconds)
                error = "--seconds must be a number of seconds above 0 and at most " + std::to_string(MaxSeconds) +
                        " (100 days)" + got;
        }
        if (!error.empty()) return std::nullopt;
    }
    const int runs = !options.backupFile.empty() + !options.restoreFile.empty() + options.calibrateCheck.has_value();
    if (runs > 1)
        error = "--backup, --restore and --calibrate-check exclude each other";
    else if ((runs == 1) != options.module.has_value())
        error = "--module K goes with --backup FILE, --restore FILE or --calibrate-check KG";
    else if ((options.writeAll || options.acceptUnchecked || options.partial) && options.restoreFile.empty())
        error = std::string(options.writeAll  ? "--all"
                            : options.partial ? "--partial"
                                              : "--accept-unchecked") +
                " goes with --restore FILE";
    else if (options.module && *options.module >= options.moduleCount)
        error = "--module " + std::to_string(*options.module) + " is not among the " +
                std::to_string(options.moduleCount) + " module(s) of --modules";
    if (!error.empty()) return std::nullopt;
    return options;
}

std::string PortsHelp(bool windows)
{
    if (windows)
        return "COM ports are the ports Windows lists (Device Manager, \"Ports (COM & LPT)\"):\n"
               "COM3 is --com 3. A port the list does not name is still opened by its number.\n";
    return R"(COM ports are the COM<n> links in the port directory ($QUORVEL_PORT_DIR,
else $XDG_RUNTIME_DIR/quorvel/ports, else /tmp/quorvel-<uid>/ports), then
the machine's serial devices.
)";
}

std::string CliUsage()
{
    return R"(Usage: quorvel-cli [--com N] [--addr A] [--modules M] [--seconds S] [--fast] [--trace FILE]
                   [--weights FILE] [--adapter-latency MS] [--stats]
       quorvel-cli --module K --backup FILE | --restore FILE [--all] [--accept-unchecked] [--partial]
       quorvel-cli --module K --calibrate-check KG [--com N] [--addr A] [--modules M]
                   [--com N] [--addr A] [--modules M]
       quorvel-cli --live-list [--com N] [--diag] [--adapter-latency MS] [--trace FILE]
       quorvel-cli --list-ports

Checks the PROFIBUS DP link to a WZM slave: acts as master station 0 on a
serial port (19200 baud, 8E1), brings the slave through the DP start-up and
exchanges data with it, as the Quorvel window does.

It prints each status text on a line of its own when it changes
(Connecting, Parameterization, Configurating, Connected, No answer from
slave), and after every data exchange one line per weighing module:

  WZM 0 gross 1000.000 net 998.500 qualifier 0000 limit 00 status 00 00 manufacturer 00 00 00

When the slave refuses the parameters or the configuration it says why,
once, for example "Slave 3 refused the configuration: WZM count is 1, the
slave has 8 modules".

With --live-list it asks every station address 1 to 126 whether a station
is there instead, and prints one line per station that answers:

  station 7 slave ident 09C5 config C0 07 07 20 1F 20 1F 20 1F modules 3
  station 9 master
  station 12 passive

("modules not a WZM configuration" for a slave that is no WZM; passive: it
refused Slave_Diag; "no answer to Slave_Diag" or "no answer to Get_Cfg"
for a station that answered and then left one unanswered). The scan sends
no parameters or configuration, so it changes no slave's state. An address
that stays silent is asked twice, a station's diagnosis and configuration
up to three times, and never while bytes are still arriving. When another
master answers, or is heard passing the token, it says so: quorvel-cli is
a master without token passing and would disturb that master's bus.

The master sends one request at a time: the next one goes out when the
answer is in or when the answer's time on the line, the slave's reaction
time and the adapter's allowance have passed, and the line has been idle
for 33 bit times. Only a whole telegram from the slave that came no sooner
than the line could carry it counts as an answer; a request left unanswered
is sent once more with the same frame count bit, and ten requests in a row
without one give "No answer from slave".

Options:
  --com N      use port COMN. Without it: COM2 if it opens, else the
               lowest-numbered port that opens.
  --addr A     PROFIBUS address of the slave, 0 to 126 (default 3).
  --modules M  weighing modules behind the slave, 1 to 8 (default 1).
  --seconds S  stop after S seconds, at most 8640000 (default: run until
               Ctrl+C).
  --fast       fast cycle: the next data exchange as soon as the answer is
               in, instead of one every 100 ms.
  --adapter-latency MS
               the time, 0 to 1000 ms, an RS-485 adapter may add to an
               answer (default 20; common USB adapters hold bytes up to
               16 ms). It is where the allowance starts: the master learns
               the adapter's delays from the answers.
  --stats      print the bus counters every 10 s and at exit: requests,
               valid answers, no answer, bad answers (check sum, length,
               end byte, time, parity), noise bytes dropped, repeats, late
               answers dropped, the last cycle time with the mean, least
               and largest since the start, the allowance learned; at exit
               also the time from start to Connected and the data
               exchanges per second since.
  --live-list  list the stations on the bus and exit.
  --list-ports list the COM ports and exit: one line each with its device
               (a link with where it points) and what the system says of
               it, such as a USB adapter's maker, product and IDs, a
               built-in UART, or a simulator's pseudo-terminal.
  --diag       also print each diagnosis a slave gives, decoded:
               diag station 3 master 0 ident 09C5 flags Prm_Req,WD_On ext -
  --trace FILE record every telegram as cut from the line with the time its
               last byte arrived and its direction into FILE, a pcapng file
               for Wireshark (see tools/wireshark/quorvel-dp.lua); dropped
               bytes and corrupt telegrams as packets of their own with the
               reason, and comments for start, stop and the port's loss and
               return. Also with --live-list. A write error stops the
               recording with a message; the link goes on.
  --weights FILE
               write each module's weights of every data exchange to FILE
               as CSV (time stamp in UTC, module, gross, net, status bytes),
               as the window's weight plot exports them. A write error stops
               the log with a message; the link goes on.
  --module K   the module, by unit address 0 to 7, for --backup,
               --restore or --calibrate-check.
  --backup FILE
               read every parameter of the module as the pages of
               Quorvel.conf list them and write them to FILE: a header, one
               line per item (page, item, text, value, or "refused" with the
               module's error text), and an end line with the item count and
               a CRC-32, so that a cut or altered file is refused. FILE is
               replaced only once the whole backup is on the disk, and not
               when items went unanswered (then FILE.incomplete is written).
  --restore FILE
               check FILE against the pages of Quorvel.conf (a cut, altered
               or damaged file is refused naming its line, before anything is
               written), read the module's values and list each item with the
               module's value and the file's, and each item of the pages that
               FILE does not hold ("not in the file"), write the items that
               differ, read each back and list every difference. Items the
               module refuses because its calibration is closed need
               Calibrate Enable (CE) first; the calibration is never opened
               here.
  --calibrate-check KG
               a routine check of the module's calibration with a reference
               weight of KG kg on its scale: read the decimal point (DP), the
               display step (DS) and the no-motion time (NT) from the module,
               wait until the gross weight rests within one display step for
               the no-motion time (at most 30 s), and print it with its
               difference to KG in kg and in display steps. The calibration
               itself is done in the window (Module > Calibrate...).
  --all        with --restore: write every item, also those the module
               already holds.
  --accept-unchecked
               with --restore: restore a backup of the first format, which
               has no end line (a cut there cannot be detected).
  --partial    with --restore: FILE is meant to hold only some items; those
               of the pages it lacks are listed but do not make the restore
               incomplete.
  --help       show this text.

)" + PortsHelp(WindowsBuild) +
           R"(
Exit status (where two hold, the lower one other than 0):
  0  all went well: connected at the end; with --backup every item read,
     with --restore every item written confirmed and every item of the
     pages in FILE (or --partial), with --live-list a station answered,
     with --calibrate-check the weight within one display step of KG.
  1  the link was not up at the end, or a backup, restore or check stopped
     before its end; with --live-list: no station answered.
  2  a wrong option, a file that cannot be used (checked before the port
     opens: a restore file cut, altered or from another page layout, an
     output that is a link, device or folder, two options naming one
     file, no Quorvel.conf), or a port error.
  3  an output file stopped early: the trace or the weight log on a write
     error, or the backup file could not be written.
  4  items left out: a backup with items the module refused or did not
     answer, a restore with items refused, not answered, read back
     different, or not in FILE (unless --partial).
  5  the calibration check failed: the weight at rest is outside one
     display step of KG, it did not come to rest, or a read was refused.
)";
}
