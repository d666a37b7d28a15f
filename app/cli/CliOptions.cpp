#include "CliOptions.h"

#include "base/ComName.h"
#include "base/IntegerText.h"

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

std::optional<double> PositiveSeconds(const std::string& text)
{
    double value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value) || value <= 0) return std::nullopt;
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
        if (name != "--com" && name != "--addr" && name != "--modules" && name != "--seconds") {
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
            if (n) options.slaveAddress = *n;
            else error = "--addr must be a PROFIBUS address from 0 to 126" + got;
        } else if (name == "--modules") {
            const auto n = WholeNumber(value, 1, 8);
            if (n) options.moduleCount = *n;
            else error = "--modules must be a number of modules from 1 to 8" + got;
        } else {
            options.seconds = PositiveSeconds(value);
            if (!options.seconds) error = "--seconds must be a number of seconds above 0" + got;
        }
        if (!error.empty()) return std::nullopt;
    }
    return options;
}

std::string CliUsage()
{
    return R"(Usage: quorvel-cli [--com N] [--addr A] [--modules M] [--seconds S]

Checks the PROFIBUS DP link to a WZM slave: acts as master station 0 on a
serial port (19200 baud, 8E1), brings the slave through the DP start-up and
exchanges data with it, as the Quorvel window does.

It prints each status text on a line of its own when it changes
(Connecting, Parameterization, Configurating, Connected, No answer from
slave), and after every data exchange one line per weighing module:

  WZM 0 gross 1000.000 net 998.500 qualifier 0000 limit 00 status 00 00 manufacturer 00 00 00

Options:
  --com N      use port COMN. Without it: COM2 if it opens, else the
               lowest-numbered port that opens.
  --addr A     PROFIBUS address of the slave, 0 to 126 (default 3).
  --modules M  weighing modules behind the slave, 1 to 8 (default 1).
  --seconds S  stop after S seconds (default: run until Ctrl+C).
  --help       show this text.

COM ports are the COM<n> links in the port directory ($QUORVEL_PORT_DIR,
else $XDG_RUNTIME_DIR/quorvel/ports, else /tmp/quorvel-<uid>/ports), then
the machine's serial devices.

Exit status: 0 connected at the end, 1 not connected, 2 wrong option or
port error.
)";
}
