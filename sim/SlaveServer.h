// Serves the stations of one line descriptor: waits in poll() for the
// master's bytes, the next thing due on the line and a stop descriptor. The
// line is a half-duplex bus (TBusLine): the master's bytes go onto it, each
// complete request the stations hear goes to every station (only the one
// addressed answers), and the answer goes out as on a real line (after the
// request's own time on the line and the min TSDR, one character per 11 bit
// times at the line's baud), or at once when instant; what reaches the
// master's side is what a serial driver would deliver (ReaderBytes.h), and
// an answer with a data unit of 8 octets may go as SD3. Injects the configured
// faults into Data_Exchange answers, prints each fault and each collision
// with its time, counts them, and lets the watchdogs and the parser's idle
// rule act on time. Taps (TLineTap) hear the line and put their bytes onto
// it; a plant (TPlantMaster) polls the stations over it as another master.
#pragma once

#include "BusLine.h"
#include "LineTap.h"
#include "PlantMaster.h"
#include "LineFaults.h"
#include "SlaveFrames.h"
#include "SlaveStation.h"
#include "SlaveStats.h"

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace sim {

struct TLineOptions {
    bool instant = false;        // answers at once, all bytes in one write
    std::vector<TFault> faults;  // injected into Data_Exchange answers
    std::uint32_t seed = 1;      // of the noise bytes and the adapter's tick
    Millis adapterLatency{0};    // of the USB adapter in front of the master
    bool sd3 = false;            // answers with a data unit of 8 octets as SD3
    long baud = 19200;           // of the line: its pacing, TSYN and the stations' delays
};

class TSlaveServer {
public:
    using LogFn = std::function<void(const std::string&)>;

    // `log` gets failures of the line, `report` one time-stamped line per
    // injected fault and per collision.
    TSlaveServer(std::vector<TSlaveStation*> stations, int lineFd, LogFn log, TLineOptions line = {},
                 LogFn report = {});

    // A descriptor to watch beside the line and what to do when it becomes
    // readable; `ready` must read what is waiting on it.
    struct TWatch {
        int fd;
        std::function<void()> ready;
    };

    // A further pseudo-terminal that hears the line and whose bytes go onto
    // it; it must outlive the server.
    void AddTap(TLineTap& tap) { taps_.push_back(&tap); }

    // A PLC's master(s) on the line, polling the stations; it must outlive the server.
    void SetPlant(TPlantMaster& plant) { plant_ = &plant; }

    // Serves until `stopFd` becomes readable (0) or the line fails (1,
    // logged), calling a watch's `ready` whenever its descriptor is readable.
    int Run(int stopFd, const std::vector<TWatch>& watches = {});
    const TSlaveStats& Stats() const { return stats_; }

private:
    std::optional<SimTime> NextWake() const;
    bool ReadLine(SimTime now);  // false when the line is gone
    void ReadTap(TLineTap& tap, SimTime now);
    void Step(SimTime now);
    void Answer(const TSlaveStation& station, const TRequest& request, TByteString reply, SimTime requestEnd,
                SimTime now);
    void Report(const std::string& what);
    // `line` off the line, of which those at `bad` came with a parity error.
    void WriteToMaster(const std::vector<std::uint8_t>& line, const std::vector<std::size_t>& bad);
    SimClock::duration BitTime() const;

    std::vector<TSlaveStation*> stations_;
    std::vector<TLineTap*> taps_;
    TPlantMaster* plant_ = nullptr;
    int fd_;
    LogFn log_;
    TLineOptions line_;
    LogFn report_;
    TRequestParser parser_;
    TBusLine bus_;
    std::minstd_rand random_;
    TSlaveStats stats_;
    long long dataExchanges_ = 0;  // Data_Exchange answers so far, for the faults
    SimTime silentUntil_{};
};

}  // namespace sim
