// Faults the simulator injects into its Data_Exchange answers, so that the
// master can be tried against what a real line does: "--fault KIND[@N]".
#pragma once

#include <string>
#include <vector>

namespace sim {

enum class TFaultKind { Fcs, Length, Noise, Sd1Noise, Split, Late, Drop, Silence };

struct TFault {
    static constexpr int EveryDefault = 100;

    TFaultKind kind = TFaultKind::Fcs;
    int at = 0;       // the Data_Exchange answer it hits (1 = the first); 0: every 100th
    int seconds = 0;  // Silence: how long no answer goes out

    // True when the fault hits Data_Exchange answer `answer` (counted from 1).
    bool Hits(long long answer) const { return at ? answer == at : answer % EveryDefault == 0; }
};

const char* FaultName(TFaultKind kind);

// Parses "fcs", "split@40", "silence=3@200" and so on. False with a message.
bool ParseFault(const std::string& text, TFault& fault, std::string& error);

}  // namespace sim
