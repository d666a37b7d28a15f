#include "CliOptions.h"

#include "CalibrateCheck.h"

#include "base/ComName.h"
#include "base/IntegerText.h"
#include "mqtt/BrokerUrl.h"
#include "serial/SystemInfo.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

#ifdef QUORVEL_MQTT
inline constexpr bool MqttBuild = true;
#else
inline constexpr bool MqttBuild = false;
#endif

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

// An MQTT topic prefix: levels without the wildcards + and #, not empty.
bool UsableTopic(const std::string& topic)
{
    return !topic.empty() && topic.find_first_of("+#", 0) == std::string::npos && topic.front() != '/' &&
           topic.back() != '/' && topic.find('\0') == std::string::npos;
}

// Parses `args` into `options`, each value in range; the checks of the
// options together come after all of them are read.
bool ParseArguments(const std::vector<std::string>& args, TCliOptions& options, std::string& error)
{
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
        if (name == "--listen") {
            options.listen = true;
            continue;
        }
        if (name == "--live-list" || name == "--diag" || name == "--stats") {
            (name == "--diag" ? options.diag : name == "--stats" ? options.stats : options.liveList) = true;
            continue;
        }
        if (name != "--com" && name != "--addr" && name != "--modules" && name != "--seconds" &&
            name != "--adapter-latency" && name != "--trace" && name != "--weights" && name != "--module" &&
            name != "--backup" && name != "--restore" && name != "--calibrate-check" && name != "--mqtt" &&
            name != "--mqtt-topic" && name != "--mqtt-user" && name != "--mqtt-password-file" &&
            name != "--mqtt-password" && name != "--mqtt-ca" && name != "--mqtt-interval" &&
            name != "--mqtt-client-id" && name != "--config" && name != "--baud") {
            error = "unknown option '" + name + "'";
            return false;
        }
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        const std::string got = " (got '" + value + "')";
        if (name == "--com") {
            options.comNumber = WholeNumber(value, 1, MaxComNumber);
            if (!options.comNumber) error = "--com must be a port number from 1 to 255" + got;
        } else if (name == "--addr") {
            const auto n = WholeNumber(value, 0, 126);
            if (n) {
                options.slaveAddress = *n;
                options.addressGiven = true;
            } else
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
        } else if (name == "--baud" && value == "auto") {
            options.baud.reset();
            options.baudAuto = true;
        } else if (name == "--baud") {
            options.baudAuto = false;
            options.baud = WholeNumber(value, 1, DpBaudRates[std::size(DpBaudRates) - 1]);
            if (!options.baud ||
                std::find(std::begin(DpBaudRates), std::end(DpBaudRates), *options.baud) == std::end(DpBaudRates))
                error = "--baud must be a DP rate: 9600, 19200, 45450, 93750, 187500, 500000 or 1500000" + got;
        } else if (name == "--module") {
            options.module = WholeNumber(value, 0, 7);
            if (!options.module) error = "--module must be a module's unit address from 0 to 7" + got;
        } else if (name == "--mqtt") {
            options.mqttUrl = value;
            std::string why;
            if (!mqtt::ParseBrokerUrl(value, why))
                error = "--mqtt must be mqtt://host[:port] or mqtts://host[:port]; " + why + got;
        } else if (name == "--mqtt-topic") {
            options.mqttTopic = value;
            if (!UsableTopic(value))
                error = "--mqtt-topic must be a topic without + or #, and not start or end with /" + got;
        } else if (name == "--mqtt-interval") {
            const auto n = WholeNumber(value, 0, 3600000);
            if (n)
                options.mqttInterval = *n;
            else
                error = "--mqtt-interval must be a number of milliseconds from 0 to 3600000" + got;
        } else if (name == "--mqtt-user" || name == "--mqtt-password-file" || name == "--mqtt-ca" ||
                   name == "--mqtt-client-id" || name == "--config") {
            (name == "--mqtt-user"            ? options.mqttUser
             : name == "--mqtt-password-file" ? options.mqttPasswordFile
             : name == "--mqtt-ca"            ? options.mqttCa
             : name == "--config"             ? options.configFile
                                              : options.mqttClientId) = value;
            if (value.empty()) error = name + " needs a value";
        } else if (name == "--mqtt-password") {
            error =
                "the broker's password is never given on the command line, where ps shows it: use "
                "--mqtt-password-file FILE or QUORVEL_MQTT_PASSWORD";
        } else {
            options.seconds = PositiveSeconds(value);
            if (!options.seconds)
                error = "--seconds must be a number of seconds above 0 and at most " + std::to_string(MaxSeconds) +
                        " (100 days)" + got;
        }
        if (!error.empty()) return false;
    }
    return true;
}

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The options of a --config file; a line that is not "name = value" of an
// option, or a value out of range, is named with its line number.
bool ParseConfigFile(const std::string& path, TCliOptions& options, std::string& error)
{
    std::ifstream file(path);
    if (!file) {
        error = "--config " + path + " cannot be read";
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        const std::string where = path + " line " + std::to_string(number) + ": ";
        line = Trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        const std::size_t equals = line.find('=');
        const std::string name = Trimmed(line.substr(0, equals));
        const std::string value = equals == std::string::npos ? "" : Trimmed(line.substr(equals + 1));
        if (equals == std::string::npos || name.empty() || name[0] == '-') {
            error = where + "not \"name = value\"";
            return false;
        }
        if (name == "config" || name == "help" || name == "list-ports") {
            error = where + name + " is for the command line only";
            return false;
        }
        TCliOptions probe;
        std::string ignored;
        const bool flag = ParseArguments({"--" + name}, probe, ignored);
        if (flag && value != "true" && value != "false") {
            error = where + name + " takes true or false";
            return false;
        }
        std::vector<std::string> args{"--" + name};
        if (!flag) args.push_back(value);
        if ((!flag || value == "true") && !ParseArguments(args, options, error)) {
            error = where + error;
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<TCliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error)
{
    TCliOptions options;
    if (!ParseArguments(args, options, error)) return std::nullopt;
    if (!options.configFile.empty()) {
        const std::string configFile = options.configFile;
        options = TCliOptions{};
        if (!ParseConfigFile(configFile, options, error) || !ParseArguments(args, options, error)) return std::nullopt;
    }
    const bool mqttDetail = !options.mqttTopic.empty() || !options.mqttUser.empty() ||
                            !options.mqttPasswordFile.empty() || !options.mqttCa.empty() ||
                            !options.mqttClientId.empty() || options.mqttInterval != TCliOptions{}.mqttInterval;
    const int runs = !options.backupFile.empty() + !options.restoreFile.empty() + options.calibrateCheck.has_value();
    if (runs > 1)
        error = "--backup, --restore and --calibrate-check exclude each other";
    else if ((runs == 1) != options.module.has_value())
        error = "--module K goes with --backup FILE, --restore FILE or --calibrate-check KG";
    else if (options.baudAuto && !options.listen)
        error = "--baud auto goes with --listen";
    else if (options.listen && (runs > 0 || options.liveList || options.fast))
        error =
            "--listen sends nothing: it goes with neither --live-list, --fast, --backup, --restore nor "
            "--calibrate-check";
    else if ((options.writeAll || options.acceptUnchecked || options.partial) && options.restoreFile.empty())
        error = std::string(options.writeAll  ? "--all"
                            : options.partial ? "--partial"
                                              : "--accept-unchecked") +
                " goes with --restore FILE";
    else if (options.module && *options.module >= options.moduleCount)
        error = "--module " + std::to_string(*options.module) + " is not among the " +
                std::to_string(options.moduleCount) + " module(s) of --modules";
    else if (mqttDetail && options.mqttUrl.empty())
        error =
            "--mqtt-topic, --mqtt-user, --mqtt-password-file, --mqtt-ca, --mqtt-client-id and --mqtt-interval "
            "go with --mqtt URL";
    else if (!options.mqttUrl.empty() && (runs > 0 || options.liveList))
        error =
            "--mqtt publishes the link's run; it does not go with --live-list, --backup, --restore or "
            "--calibrate-check";
    else if (!options.mqttPasswordFile.empty() && options.mqttUser.empty())
        error = "--mqtt-password-file goes with --mqtt-user NAME";
    else if (!options.mqttCa.empty() && options.mqttUrl.rfind("mqtts://", 0) != 0)
        error = "--mqtt-ca goes with an mqtts:// broker";
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
                   [--weights FILE] [--adapter-latency MS] [--stats] [--config FILE]
                   [--mqtt URL [--mqtt-topic PREFIX] [--mqtt-user NAME [--mqtt-password-file FILE]]
                    [--mqtt-ca FILE] [--mqtt-interval MS] [--mqtt-client-id ID]]
       quorvel-cli --module K --backup FILE | --restore FILE [--all] [--accept-unchecked] [--partial]
       quorvel-cli --module K --calibrate-check KG [--com N] [--addr A] [--modules M]
                   [--com N] [--addr A] [--modules M]
       quorvel-cli --live-list [--com N] [--diag] [--adapter-latency MS] [--trace FILE]
       quorvel-cli --listen [--com N] [--baud B] [--addr A] [--seconds S] [--stats] [--trace FILE]
                   [--weights FILE]
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

With --listen it hears a bus that another master (a PLC) drives and sends
nothing: the port refuses every write, RTS stays low, and no start
sequence goes out. It prints a line per station when first heard and when
its role or layout changes:

  station 2 master
  station 3 slave weighing 8 module(s) prm ... config C0 07 07 20 1F ...
  station 5 slave layout outputs 4 inputs 4

(a slave is taken for a WZM slave by the Chk_Cfg its master sends, or by
its Data_Exchange lengths, outputs 8 + n and inputs 8 + 16 n; prm and
config are the Set_Prm and Chk_Cfg its master sent), each diagnosis it gives
when it changes (as --diag prints it), then after
each Data_Exchange answer the module lines as when connected (of --addr's
slave, or of every WZM slave with "station A " before them), and the
command channel whenever the master's command or the slave's reply changes,
with "ok" or the module's error text for a finished command:

  station 3 command 52 index 0 value 0 reply stat 01 index 0 value 1234 ok

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
  --listen     hear the bus and send nothing (see above). With --stats one
               line per station every 10 s and at exit: role, requests,
               answers, repeats (same FCB with FCV set), requests left
               without answer, bad frames (check sum/length/end byte/time/
               parity), last heard, cycle time, a master's token rotation.
  --baud B     the line's rate: 9600, 19200, 45450, 93750, 187500, 500000
               or 1500000 (default 19200); line times, the slot time and
               the idle time follow it. With --listen also "auto", the
               default there: each rate the port takes, up to 1 s each and
               round after round, until valid telegrams arrive; each rate
               tried is printed with what was heard at it.
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
  --config FILE
               read options from FILE first: one "name = value" a line
               (the option's name without "--", a flag as "name = true"),
               "#" starts a comment line; an option on the command line
               overrides the file's. A line that is no option, or a bad
               value, is named with its line number (exit status 2).
  --mqtt URL   publish to the MQTT broker at mqtt://host[:port] (port 1883)
               or mqtts://host[:port] (TLS, port 8883; the broker's
               certificate and host name are verified): the link's status,
               retained, with "offline" as the last will; each module's
               values; the bus counters every 10 s; the diagnosis, retained,
               on change; the program and slave, retained (topics and
               payloads in quorvel-cli(1)). The link never waits for the
               broker: a broker that is down is tried again, 1 s doubling
               to 30 s between tries, and what could not be sent is
               dropped and counted (--stats). Nothing is subscribed to.)" +
           std::string(MqttBuild ? "" : "\n               This Windows build has no MQTT: --mqtt is refused.") + R"(
  --mqtt-topic PREFIX
               the topics' prefix (default quorvel/<host name>/<slave
               address>).
  --mqtt-user NAME
               log in to the broker as NAME, with the password from
               --mqtt-password-file or the environment variable
               QUORVEL_MQTT_PASSWORD (never on the command line, where ps
               shows it).
  --mqtt-password-file FILE
               the password is FILE's first line.
  --mqtt-ca FILE
               with mqtts://: the CA certificate (PEM) that signed the
               broker's (default: the system's CAs).
  --mqtt-interval MS
               publish a module's values at most every MS ms, 0 to 3600000
               (default 1000; 0: every data exchange). A status change goes
               out at once.
  --mqtt-client-id ID
               the client's ID at the broker (default: one the client
               library makes up).
  --help       show this text.

)" + PortsHelp(WindowsBuild) +
           R"(
Exit status (where two hold, the lower one other than 0):
  0  all went well: connected at the end; with --backup every item read,
     with --restore every item written confirmed and every item of the
     pages in FILE (or --partial), with --live-list a station answered,
     with --calibrate-check the weight within one display step of KG,
     with --listen a valid telegram was heard.
  1  the link was not up at the end, or a backup, restore or check stopped
     before its end; with --live-list: no station answered; with --listen:
     no valid telegram was heard.
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
