#include "SlaveOptions.h"

#include "base/IntegerText.h"

#include <algorithm>
#include <iterator>

namespace sim {

std::string SlaveUsage()
{
    return "Usage: quorvel-slave [--addr A] [--modules N] [--station A:N ...] [--com N] [--seed S] [--replace]\n"
           "                     [--quiet] [--instant] [--sd3] [--fault KIND[@N]]...\n"
           "                     [--adapter-latency MS] [--stats FILE] [--load UNIT:KG]...\n"
           "                     [--control PATH] [--baud B] [--tap N]... [--plant]\n"
           "                     [--plant-master A] [--plant-masters 1|2]\n"
           "\n"
           "Simulates a PROFIBUS DP slave station with WZM weighing modules on a\n"
           "pseudo-terminal, registered as a COM port for Quorvel and quorvel-cli.\n"
           "The pseudo-terminal is a half-duplex RS-485 line: bytes the master sends\n"
           "while a station answers are a collision, the answer arrives garbled, and\n"
           "each collision is printed with its time.\n"
           "\n"
           "  --addr A      station address of the slave, 0..126 (default 3)\n"
           "  --modules N   number of weighing modules, 1..8 (default 1)\n"
           "  --station A:N a station at address A with N modules; repeat it for several\n"
           "                stations on the one line (instead of --addr and --modules)\n"
           "  --com N       register the line as COM<N>, 1..255 (default 2)\n"
           "  --seed S      seed of the simulated load noise, the injected random bytes\n"
           "                and the adapter's timing (default 1)\n"
           "  --replace     take over a COM<N> link that another program registered\n"
           "  --quiet       do not print the DP state changes\n"
           "  --instant     answer in one write, as soon as the line could have carried\n"
           "                request and answer; by default answers are paced as on a real\n"
           "                line: after the request's time on the line and the min TSDR\n"
           "                of Set_Prm, one character per 11 bit times at the line's baud.\n"
           "                Without line time no collision can be detected\n"
           "  --sd3         answer with SD3 (A2 DA SA FC, 8 octets, FCS 16) where the\n"
           "                data unit is 8 octets, as the 6-byte diagnosis with its two\n"
           "                SAP bytes; by default every answer with data is an SD2\n"
           "  --fault KIND[@N]  inject a fault into Data_Exchange answer N (default:\n"
           "                every 100th answer); repeatable. KIND: fcs (wrong check sum),\n"
           "                length (unequal length bytes), noise (20 random bytes after\n"
           "                the answer), sd1noise (6 stray bytes starting 10), split (the\n"
           "                answer in two halves 30 ms apart), late (150 ms late), drop\n"
           "                (no answer), silence=S (no answers for S seconds), flood=S\n"
           "                (random bytes on the line for S seconds from that answer on;\n"
           "                nobody is heard through them), head (a stray SD2 head\n"
           "                68 FA FA 68 in place of the answer), pause=MS (68 LE, then\n"
           "                the rest of the answer MS ms later, as an adapter that hands\n"
           "                the head's first bytes over alone), parity (one character\n"
           "                of the answer with a parity error, its value unchanged; on\n"
           "                the pseudo-terminal the bytes a serial driver delivers for\n"
           "                it: FF 00 X when the reader marks errors with PARMRK). Each\n"
           "                injected fault is printed with its time\n"
           "  --adapter-latency MS  model a USB adapter in front of the master, 0..255\n"
           "                (default 0: none; common adapters: 16): bytes reach the\n"
           "                master's side in chunks of up to 62 bytes, each up to MS ms\n"
           "                late, and the master's bytes reach the line within 1 ms\n"
           "  --stats FILE  write requests, answers, collisions, requests not heard for\n"
           "                want of 33 bit times of idle line (sync), bytes written into\n"
           "                the taps (tap_written), the plant's requests (plant_requests)\n"
           "                and the valid Data_Exchange answers it received\n"
           "                (plant_exchanges) and injected faults by kind as JSON to FILE\n"
           "                at start, on SIGUSR1 and on exit\n"
           "  --load UNIT:KG  put KG kg on the scale of the module at unit address UNIT\n"
           "                (0..7) at the start; repeatable (default: 60 kg on unit 0,\n"
           "                25 kg more on each further unit)\n"
           "  --control PATH  make a named pipe at PATH (or take one that is there) and\n"
           "                read commands from it, one a line: 'load UNIT KG' puts KG kg\n"
           "                on the scale, 'motion UNIT on|off' shakes it (the signal\n"
           "                swings by about 2 kg) or stills it. A load or motion applies\n"
           "                to that unit of every station that has it. Each command is\n"
           "                printed; a line that is not one is refused with a message\n"
           "                on standard error. Example: echo 'load 0 50' > PATH\n"
           "  --baud B      the line's rate: 9600, 19200, 45450, 93750, 187500, 500000 or\n"
           "                1500000 (default 19200). The pacing, the 33 bit times of idle\n"
           "                line a request needs, the stations' delays and the plant's\n"
           "                slot time follow it; the pseudo-terminals are set to it (they\n"
           "                take every one of these rates, but do not pace by it)\n"
           "  --tap N       serve a further pseudo-terminal as COM<N> that hears every\n"
           "                byte on the line (requests, answers, tokens, noise), each when\n"
           "                it is through on the line; bytes written into it go onto the\n"
           "                line as an adapter on the bus would put them there (so they\n"
           "                can collide) and are counted. A reader set to another rate\n"
           "                than the line's reads garbage. Repeatable\n"
           "  --plant       put a simulated PLC master on the line: it starts up each\n"
           "                station (Slave_Diag, Set_Prm, Chk_Cfg, Slave_Diag,\n"
           "                Global_Control) and exchanges data with it cyclically, 33 bit\n"
           "                times of idle line before each request, one retry with the\n"
           "                same frame count bit when no answer comes within the slot time,\n"
           "                and reads a module's setup parameter through the command\n"
           "                channel every 3 s. The faults apply to its traffic too\n"
           "  --plant-master A  the plant master's station address, 0..125 (default 2)\n"
           "  --plant-masters N  1 or 2 (default 1): with 2 a second master at A+1\n"
           "                shares the stations (every second one) and the two pass the\n"
           "                token (SD4) between them\n"
           "  --help        show this text\n"
           "\n"
           "The link is made in the port directory ($QUORVEL_PORT_DIR, else\n"
           "$XDG_RUNTIME_DIR/quorvel/ports, else /tmp/quorvel-<uid>/ports) and removed\n"
           "again when the simulator stops (Ctrl+C, SIGTERM).\n";
}

namespace {

// "A:N" with A a station address and N a module count.
bool ParseStation(const std::string& text, TStationSpec& spec)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    const auto address = ParseInteger(std::string_view(text).substr(0, colon), 0, 126);
    const auto modules = ParseInteger(std::string_view(text).substr(colon + 1), 1, 8);
    if (!address || !modules) return false;
    spec = {static_cast<int>(*address), static_cast<int>(*modules)};
    return true;
}

}  // namespace

bool ParseSlaveOptions(const std::vector<std::string>& args, TSlaveOptions& options, std::string& error)
{
    bool oneStationForm = false;
    struct TNumberOption {
        const char* name;
        long long min, max;
        long long* target;
    };
    long long address = options.address, modules = options.modules, com = options.com, seed = options.seed,
              latency = options.adapterLatencyMs, baud = options.baud, plantMaster = options.plantMaster,
              plantMasters = options.plantMasters, tap = 0;
    const TNumberOption numbers[] = {
        {"--addr", 0, 126, &address},
        {"--modules", 1, 8, &modules},
        {"--com", 1, 255, &com},
        {"--seed", 0, 0xFFFFFFFFLL, &seed},
        {"--adapter-latency", 0, 255, &latency},
        {"--baud", LineBauds[0], LineBauds[std::size(LineBauds) - 1], &baud},
        {"--plant-master", 0, 125, &plantMaster},
        {"--plant-masters", 1, 2, &plantMasters},
        {"--tap", 1, 255, &tap},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool inlineValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--replace") {
            options.replace = true;
            continue;
        }
        if (name == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (name == "--instant") {
            options.instant = true;
            continue;
        }
        if (name == "--sd3") {
            options.sd3 = true;
            continue;
        }
        if (name == "--plant") {
            options.plant = true;
            continue;
        }
        if (name == "--fault") {
            if (!inlineValue && i + 1 >= args.size()) {
                error = "--fault needs a value";
                return false;
            }
            TFault fault;
            if (!ParseFault(inlineValue ? value : args[++i], fault, error)) return false;
            options.faults.push_back(fault);
            continue;
        }
        if (name == "--stats") {
            if (!inlineValue && i + 1 < args.size()) value = args[++i];
            if (value.empty()) {
                error = "--stats needs a file name";
                return false;
            }
            options.statsFile = value;
            continue;
        }
        if (name == "--load" || name == "--control") {
            if (!inlineValue && i + 1 < args.size()) value = args[++i];
            if (value.empty()) {
                error = name + (name == "--load" ? " needs UNIT:KG" : " needs a path");
                return false;
            }
            if (name == "--control") {
                options.controlFile = value;
                continue;
            }
            const auto load = ParseLoadOption(value, error);
            if (!load) return false;
            options.loads.push_back(*load);
            continue;
        }
        if (name == "--station") {
            if (!inlineValue && i + 1 < args.size()) value = args[++i];
            TStationSpec spec;
            if (!ParseStation(value, spec)) {
                error = "--station must be ADDRESS:MODULES with an address from 0 to 126 and 1 to 8 modules, not '" +
                        value + "'";
                return false;
            }
            for (const auto& other : options.stations)
                if (other.address == spec.address) {
                    error = "two stations at address " + std::to_string(spec.address);
                    return false;
                }
            options.stations.push_back(spec);
            continue;
        }
        const TNumberOption* option = nullptr;
        for (const auto& candidate : numbers)
            if (name == candidate.name) option = &candidate;
        if (!option) {
            error = "unknown option '" + args[i] + "'";
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (option->target == &address || option->target == &modules) oneStationForm = true;
        const auto number = ParseInteger(value, option->min, option->max);
        if (!number) {
            error = name + " must be a whole number from " + std::to_string(option->min) + " to " +
                    std::to_string(option->max) + ", not '" + value + "'";
            return false;
        }
        *option->target = *number;
        if (option->target == &tap) options.taps.push_back(static_cast<int>(tap));
    }
    if (oneStationForm && !options.stations.empty()) {
        error = "give either --station or --addr/--modules";
        return false;
    }
    options.address = static_cast<int>(address);
    options.modules = static_cast<int>(modules);
    if (options.stations.empty()) options.stations.push_back({options.address, options.modules});
    for (const TLoadCommand& load : options.loads) {
        bool found = false;
        for (const auto& station : options.stations) found = found || load.unit < station.modules;
        if (!found) {
            error = "--load: no station has a module at unit " + std::to_string(load.unit);
            return false;
        }
    }
    if (std::find(std::begin(LineBauds), std::end(LineBauds), baud) == std::end(LineBauds)) {
        error =
            "--baud must be one of 9600, 19200, 45450, 93750, 187500, 500000 and 1500000, not " + std::to_string(baud);
        return false;
    }
    std::vector<long long> coms = {com};
    for (const int t : options.taps) {
        if (std::find(coms.begin(), coms.end(), t) != coms.end()) {
            error = "COM" + std::to_string(t) + " is given twice (--com, --tap)";
            return false;
        }
        coms.push_back(t);
    }
    for (const auto& station : options.stations)
        if (options.plant && station.address >= plantMaster && station.address < plantMaster + plantMasters) {
            error = "station " + std::to_string(station.address) + " is on the address of a plant master";
            return false;
        }
    if (options.plant && options.instant) {
        error = "--plant needs the line's time: it cannot run with --instant";
        return false;
    }
    options.baud = static_cast<long>(baud);
    options.plantMaster = static_cast<int>(plantMaster);
    options.plantMasters = static_cast<int>(plantMasters);
    options.com = static_cast<int>(com);
    options.seed = static_cast<std::uint32_t>(seed);
    options.adapterLatencyMs = static_cast<int>(latency);
    return true;
}

}  // namespace sim
