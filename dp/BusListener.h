// What a station that only listens learns of a running DP line: every frame
// the line carries, cut with the FDL framing, each answer paired with the
// request it answers, and per station its role, counters, timing and, for a
// slave, what its master sent it at start-up and in the cycle.
//
// A half-duplex line carries one request at a time: the request stands until
// the addressed station answers or the next request or token shows that no
// answer came. A bad frame heard while a request stands is counted against
// the station whose answer was due.
//
// Values are kept as heard (the Data_Exchange outputs' data unit and the
// answer's received string); reading the weighing modules' blocks out of them
// is left to the layer that reads them when connected.
#pragma once

#include "base/ByteString.h"
#include "dp/Diagnosis.h"
#include "fdl/Framing.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace buslisten {

using Clock = std::chrono::steady_clock;

// Master: sends requests or passes the token. Slave: only answers.
enum class TRole : std::uint8_t { Unknown, Master, Slave };
const char* RoleText(TRole role);

// Bad frames by fdl::TFault (index None unused).
using TFaultCounts = std::array<std::uint64_t, static_cast<std::size_t>(fdl::TFault::Parity) + 1>;

struct TStation {
    TRole role = TRole::Unknown;
    std::uint64_t requests = 0;    // a master: sent; a slave: addressed to it
    std::uint64_t answers = 0;     // sent by it
    std::uint64_t repeats = 0;     // a slave: requests again with the same FCB and FCV set
    std::uint64_t unanswered = 0;  // a slave: requests that expected an answer and got none
    std::uint64_t tokens = 0;      // a master: tokens it passed on
    TFaultCounts bad{};            // frames that stood where its answer was due
    Clock::time_point lastHeard{};
    Clock::duration cycle{};     // a slave: between its last two Data_Exchange requests
    Clock::duration rotation{};  // a master: between the last two tokens it passed on

    // A slave's start-up and cycle as its master drives them.
    TByteString setPrm;  // data unit of the last Set_Prm
    TByteString chkCfg;  // data unit of the last Chk_Cfg
    std::optional<diag::TDiagnosis> diagnosis;
    std::size_t outputLength = 0;  // data units of the last Data_Exchange
    std::size_t inputLength = 0;
    TByteString outputs;  // the request's data unit
    TByteString inputs;   // the answer as received (68 LE LE 68 DA SA FC DU FCS 16)
    // Weighing modules when Chk_Cfg (once heard) or the Data_Exchange lengths
    // (outputs 8 + n, inputs 8 + 16 n) fit that layout.
    std::optional<int> modules;

    // Kept between frames.
    Clock::time_point lastCycle{};
    Clock::time_point lastToken{};
    std::optional<std::uint8_t> lastFcb;  // FCB of the last request with FCV set
    std::uint8_t lastFcbFrom = 0;         // and the master that sent it
    std::uint64_t exchanges = 0;          // Data_Exchange answers heard
};

struct TLineTotals {
    std::uint64_t telegrams = 0;  // valid ones
    std::uint64_t unpaired = 0;   // answers no standing request awaited
    std::uint64_t noiseBytes = 0;
    TFaultCounts bad{};
};

class TBusListener {
public:
    // A complete telegram heard, its last byte at `at`.
    void Telegram(const TByteString& bytes, Clock::time_point at);
    // A frame dropped as corrupt, for `fault`.
    void Bad(fdl::TFault fault);
    void Noise(std::size_t bytes) { totals_.noiseBytes += bytes; }
    // One piece as the FDL cutter left it: a telegram, a corrupt one, noise.
    void Piece(fdl::TCutKind kind, fdl::TFault fault, const TByteString& bytes, Clock::time_point at);
    // Received bytes as they come: cut with the FDL framing and handed on; an
    // incomplete telegram at the end waits for the bytes behind it.
    void Feed(const TByteString& bytes, Clock::time_point at);

    const std::map<std::uint8_t, TStation>& Stations() const { return stations_; }
    const TLineTotals& Totals() const { return totals_; }

private:
    struct TStanding {
        std::uint8_t master = 0;
        std::uint8_t slave = 0;
        bool dataExchange = false;
        std::size_t outputLength = 0;
    };

    TStation& Heard(std::uint8_t address, TRole role, Clock::time_point at);
    void Request(const fdl::TFrame& frame, Clock::time_point at);
    void Answer(const fdl::TFrame& frame, const TByteString& bytes, Clock::time_point at);
    void Token(const fdl::TFrame& frame, Clock::time_point at);
    void CloseStanding();

    std::map<std::uint8_t, TStation> stations_;
    TLineTotals totals_;
    std::optional<TStanding> standing_;
    std::vector<std::uint8_t> tail_;  // bytes of a telegram not yet complete
};

}  // namespace buslisten
