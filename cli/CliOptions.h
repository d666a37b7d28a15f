// The command line of quorvel-cli.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct TCliOptions {
    static constexpr int MaxSeconds = 8640000;  // 100 days: the deadline stays far from the clock's range

    std::optional<int> comNumber;  // none: chosen as the port scan does
    int slaveAddress = 3;
    bool addressGiven = false;  // --addr was given (--listen then shows that slave only)
    int moduleCount = 1;
    std::optional<double> seconds;         // none: until interrupted
    bool fast = false;                     // the next Data_Exchange request as soon as the answer is in
    bool liveList = false;                 // scan the bus instead of running the master
    bool diag = false;                     // print every decoded diagnosis
    bool stats = false;                    // print the bus counters every 10 s and at exit
    int adapterLatency = 20;               // ms the adapter may add to an answer
    std::string traceFile;                 // empty: no trace
    std::string weightsFile;               // empty: no weight log
    std::optional<int> module;             // unit address for --backup / --restore
    std::string backupFile;                // read the module's parameters into this file
    std::string restoreFile;               // write the module's parameters from this file
    bool writeAll = false;                 // --restore writes every item, not only those that differ
    bool acceptUnchecked = false;          // --restore takes a file of the first format (no end line)
    bool partial = false;                  // --restore's file is meant to hold only some items
    std::optional<double> calibrateCheck;  // kg of the reference weight on the module's scale
    bool listPorts = false;                // print the COM ports and what the system says of them
    bool listen = false;                   // hear the bus and send nothing
    std::optional<int> baud;               // none: 19200, or with --listen each rate in turn
    bool baudAuto = false;                 // --baud auto was given
    std::string mqttUrl;                   // empty: nothing published
    std::string mqttTopic;                 // empty: quorvel/<host name>/<slave address>
    std::string mqttUser;
    std::string mqttPasswordFile;  // empty: the password from QUORVEL_MQTT_PASSWORD, if set
    std::string mqttCa;            // the CA that signed the broker's certificate (mqtts://)
    std::string mqttClientId;      // empty: the library chooses one
    int mqttInterval = 1000;       // ms between two publications of a module's values
    std::string configFile;        // the options read before the command line's
    bool help = false;
};

// The baud rates of a DP line that --baud takes.
inline constexpr int DpBaudRates[] = {9600, 19200, 45450, 93750, 187500, 500000, 1500000};

// Parses the arguments after the program name, after the options of the
// file --config names (one "name = value" a line, "#" comments, a flag as
// "name = true" or "false"; the command line overrides the file). Returns the options, or
// nothing with `error` set to a message for the user.
std::optional<TCliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error);

// The --help text.
std::string CliUsage();

// The --help text's paragraph on where COM ports come from, for Windows or
// for the other systems.
std::string PortsHelp(bool windows);
