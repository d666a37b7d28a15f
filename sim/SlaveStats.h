// What the simulator counts on its line, for "--stats FILE": requests heard,
// answers sent, collisions, what the taps and the plant did and injected
// faults by kind, as JSON.
#pragma once

#include "LineFaults.h"

#include <array>
#include <string>

namespace sim {

struct TSlaveStats {
    long long requests = 0;                          // telegrams the stations heard
    long long answers = 0;                           // answers the stations put on the line
    long long collisions = 0;                        // answers the master talked over
    long long sync = 0;                              // requests not heard: too soon after the line went idle
    long long tapWritten = 0;                        // bytes programs wrote into the taps
    long long plantRequests = 0;                     // requests the plant's masters sent, repeats included
    long long plantExchanges = 0;                    // valid Data_Exchange answers they received
    std::array<long long, FaultKindCount> faults{};  // by TFaultKind

    std::string Json() const;
};

// Writes the statistics whole: to `path`.tmp, then renamed to `path`, so a
// reader never sees half a file. False with the reason.
bool WriteStats(const std::string& path, const TSlaveStats& stats, std::string& error);

}  // namespace sim
