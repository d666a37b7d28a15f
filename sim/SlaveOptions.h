// Command line of quorvel-slave.
#pragma once

#include "LineFaults.h"
#include "LoadControl.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct TStationSpec {
    int address = 3;
    int modules = 1;
};

struct TSlaveOptions {
    int address = 3;
    int modules = 1;
    // The stations on the line: the --station options in order, else the
    // one station of --addr and --modules.
    std::vector<TStationSpec> stations;
    int com = 2;
    std::uint32_t seed = 1;
    bool replace = false;  // take over a COM<n> link that points at a live device
    bool quiet = false;    // no line per DP state change
    bool instant = false;  // answer at once instead of paced as on a real line
    bool sd3 = false;      // answer a data unit of 8 octets as SD3
    std::vector<TFault> faults;
    int adapterLatencyMs = 0;         // of a USB adapter in front of the master
    std::string statsFile;            // where the line's counts go as JSON, if anywhere
    std::vector<TLoadCommand> loads;  // --load: the scales' loads at the start
    std::string controlFile;          // --control: the named pipe of load and motion lines
    std::vector<int> taps;            // --tap: COM numbers of pseudo-terminals that hear the line
    long baud = 19200;                // of the line
    bool plant = false;               // a simulated PLC master drives the stations
    int plantMaster = 2;              // its station address
    int plantMasters = 1;             // 2: a second one at plantMaster + 1, passing the token
    bool help = false;
};

// The line's rates.
inline constexpr long LineBauds[] = {9600, 19200, 45450, 93750, 187500, 500000, 1500000};

// Parses the arguments after the program name ("--addr 3" or "--addr=3").
// False with a message on an unknown option, a value out of range, two
// stations on one address, --station mixed with --addr/--modules, a COM
// number given twice, or a plant master on a station's address.
bool ParseSlaveOptions(const std::vector<std::string>& args, TSlaveOptions& options, std::string& error);
std::string SlaveUsage();

}  // namespace sim
