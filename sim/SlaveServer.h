// Serves a station on a line descriptor: waits in poll() for requests and a
// stop descriptor, answers each complete request at once, and lets the
// watchdog and the parser's idle rule act on time.
#pragma once

#include "SlaveFrames.h"
#include "SlaveStation.h"

#include <functional>
#include <string>

namespace sim {

class TSlaveServer {
public:
    using LogFn = std::function<void(const std::string&)>;

    TSlaveServer(TSlaveStation& station, int lineFd, LogFn log);

    // Serves until `stopFd` becomes readable (0) or the line fails (1, logged).
    int Run(int stopFd);
    std::size_t Requests() const { return requests_; }

private:
    int PollTimeout(SimTime now) const;
    bool ReadLine(SimTime now);  // false when the line is gone
    void Reply(const TByteString& telegram);

    TSlaveStation& station_;
    int fd_;
    LogFn log_;
    TRequestParser parser_;
    std::size_t requests_ = 0;
};

}  // namespace sim
