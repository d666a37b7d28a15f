#include "SlaveOptions.h"

#include "base/IntegerText.h"

namespace sim {

std::string SlaveUsage()
{
    return "Usage: quorvel-slave [--addr A] [--modules N] [--com N] [--seed S] [--replace] [--quiet]\n"
           "\n"
           "Simulates a PROFIBUS DP slave station with WZM weighing modules on a\n"
           "pseudo-terminal, registered as a COM port for Quorvel and quorvel-cli.\n"
           "\n"
           "  --addr A      station address of the slave, 0..126 (default 3)\n"
           "  --modules N   number of weighing modules, 1..8 (default 1)\n"
           "  --com N       register the line as COM<N>, 1..255 (default 2)\n"
           "  --seed S      seed of the simulated load noise (default 1)\n"
           "  --replace     take over a COM<N> link that another program registered\n"
           "  --quiet       do not print the DP state changes\n"
           "  --help        show this text\n"
           "\n"
           "The link is made in the port directory ($QUORVEL_PORT_DIR, else\n"
           "$XDG_RUNTIME_DIR/quorvel/ports, else /tmp/quorvel-<uid>/ports) and removed\n"
           "again when the simulator stops (Ctrl+C, SIGTERM).\n";
}

bool ParseSlaveOptions(const std::vector<std::string>& args, TSlaveOptions& options, std::string& error)
{
    struct TNumberOption {
        const char* name;
        long long min, max;
        long long* target;
    };
    long long address = options.address, modules = options.modules, com = options.com, seed = options.seed;
    const TNumberOption numbers[] = {
        {"--addr", 0, 126, &address},
        {"--modules", 1, 8, &modules},
        {"--com", 1, 255, &com},
        {"--seed", 0, 0xFFFFFFFFLL, &seed},
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
        if (name == "--help" || name == "-h") { options.help = true; continue; }
        if (name == "--replace") { options.replace = true; continue; }
        if (name == "--quiet") { options.quiet = true; continue; }
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
        const auto number = ParseInteger(value, option->min, option->max);
        if (!number) {
            error = name + " must be a whole number from " + std::to_string(option->min) + " to " +
                    std::to_string(option->max) + ", not '" + value + "'";
            return false;
        }
        *option->target = *number;
    }
    options.address = static_cast<int>(address);
    options.modules = static_cast<int>(modules);
    options.com = static_cast<int>(com);
    options.seed = static_cast<std::uint32_t>(seed);
    return true;
}

}  // namespace sim
