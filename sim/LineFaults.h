// Faults the simulator injects into its Data_Exchange answers, so that the
// master can be tried against what a real line does: "--fault KIND[@N]".
#pragma once

#include "SimClock.h"
#include "base/ByteString.h"

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace sim {

enum class TFaultKind { Fcs, Length, Noise, Sd1Noise, Split, Late, Drop, Silence, Flood, Head, Pause, Parity };
constexpr std::size_t FaultKindCount = 12;

struct TFault {
    static constexpr int EveryDefault = 100;

    TFaultKind kind = TFaultKind::Fcs;
    int at = 0;            // the Data_Exchange answer it hits (1 = the first); 0: every 100th
    int seconds = 0;       // Silence: how long no answer goes out; Flood: how long the noise lasts
    int milliseconds = 0;  // Pause: the gap after the head's first two bytes

    // True when the fault hits Data_Exchange answer `answer` (counted from 1).
    bool Hits(long long answer) const { return at ? answer == at : answer % EveryDefault == 0; }
};

const char* FaultName(TFaultKind kind);

// Parses "fcs", "split@40", "silence=3@200", "flood=15", "pause=25" and so on.
// False with a message.
bool ParseFault(const std::string& text, TFault& fault, std::string& error);

// What the faults that hit one Data_Exchange answer make of it.
struct TFaultedAnswer {
    struct THit {
        TFaultKind kind;
        std::string text;  // "fault fcs", "fault silence for 3 s", ...
    };
    TByteString reply;     // what goes on the line for the answer
    bool send = true;      // false: nothing goes on the line for it
    bool isAnswer = true;  // false: `reply` is stray bytes in place of the answer
    bool split = false;    // in two halves with a gap
    Millis headPause{0};   // a gap after the first two bytes (68 LE)
    // The character sent with a parity error, if one is.
    std::optional<std::size_t> badChar;
    Millis delay{0};         // before it starts
    TByteString stray;       // stray bytes after it
    int silenceSeconds = 0;  // no answers from now on for so long
    int floodSeconds = 0;    // random bytes on the line from the answer's start for so long
    std::vector<THit> hits;  // one per fault that hit, in the order given
};

// Applies the faults that hit Data_Exchange answer number `answer` to `reply`;
// random bytes come from `random`.
TFaultedAnswer ApplyFaults(const std::vector<TFault>& faults, long long answer, TByteString reply,
                           std::minstd_rand& random);

// `count` random bytes.
TByteString RandomBytes(std::size_t count, std::minstd_rand& random);

}  // namespace sim
