// Serves the stations of one line descriptor: waits in poll() for requests,
// the next byte due on the line and a stop descriptor, hands each complete
// request to every station (only the one addressed answers), answers as a
// real line would (after the request's own time on the line and the min
// TSDR, one character per 11 bit times at the line's baud), or at once when
// instant, injects the configured faults into Data_Exchange answers, and lets
// the watchdogs and the parser's idle rule act on time.
#pragma once

#include "LineFaults.h"
#include "LineOutput.h"
#include "SlaveFrames.h"
#include "SlaveStation.h"

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace sim {

struct TLineOptions {
    bool instant = false;        // answers at once, all bytes in one write
    std::vector<TFault> faults;  // injected into Data_Exchange answers
    std::uint32_t seed = 1;      // of the noise bytes
};

class TSlaveServer {
public:
    using LogFn = std::function<void(const std::string&)>;

    // `log` gets failures of the line, `report` one time-stamped line per
    // injected fault.
    TSlaveServer(std::vector<TSlaveStation*> stations, int lineFd, LogFn log, TLineOptions line = {},
                 LogFn report = {});

    // Serves until `stopFd` becomes readable (0) or the line fails (1, logged).
    int Run(int stopFd);
    std::size_t Requests() const { return requests_; }

private:
    std::optional<SimTime> NextWake() const;
    bool ReadLine(SimTime now);  // false when the line is gone
    void Answer(const TSlaveStation& station, const TRequest& request, TByteString reply, SimTime now);
    // Applies the faults that hit this answer; false when it is not sent.
    bool InjectFaults(TByteString& reply, SimTime& start, bool& split, TByteString& stray, SimTime now);
    TByteString Noise(std::size_t count);
    SimClock::duration BitTime() const;

    std::vector<TSlaveStation*> stations_;
    int fd_;
    LogFn log_;
    TLineOptions line_;
    LogFn report_;
    TRequestParser parser_;
    TLineOutput output_;
    std::minstd_rand random_;
    std::size_t requests_ = 0;
    long long answers_ = 0;  // Data_Exchange answers so far
    SimTime silentUntil_{};
};

}  // namespace sim
