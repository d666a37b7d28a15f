// Serves the stations of one line descriptor: waits in poll() for requests
// and a stop descriptor, hands each complete request to every station (only
// the one addressed answers) and writes the answer at once, and lets the
// watchdogs and the parser's idle rule act on time.
#pragma once

#include "SlaveFrames.h"
#include "SlaveStation.h"

#include <functional>
#include <string>
#include <vector>

namespace sim {

class TSlaveServer {
public:
    using LogFn = std::function<void(const std::string&)>;

    TSlaveServer(std::vector<TSlaveStation*> stations, int lineFd, LogFn log);

    // Serves until `stopFd` becomes readable (0) or the line fails (1, logged).
    int Run(int stopFd);
    std::size_t Requests() const { return requests_; }

private:
    int PollTimeout(SimTime now) const;
    bool ReadLine(SimTime now);  // false when the line is gone
    void Reply(const TByteString& telegram);

    std::vector<TSlaveStation*> stations_;
    int fd_;
    LogFn log_;
    TRequestParser parser_;
    std::size_t requests_ = 0;
};

}  // namespace sim
