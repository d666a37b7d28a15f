// The simulator's line: a pseudo-terminal pair whose device side is linked
// as COM<n> in the port directory. The simulator keeps a descriptor of the
// device side open itself, so a program that closes and reopens the port
// never hangs up the line. The line passes the simulator's bytes on as
// written (EXTPROC, see ReaderBytes.h). It starts at the line's baud.
#pragma once

#include <string>

namespace sim {

class TPtyLine {
public:
    explicit TPtyLine(long baud = 19200);  // throws std::runtime_error with the reason
    ~TPtyLine();
    TPtyLine(const TPtyLine&) = delete;
    TPtyLine& operator=(const TPtyLine&) = delete;

    int Fd() const { return master_; }  // the simulator's end, non-blocking
    const std::string& DevicePath() const { return device_; }

private:
    int master_ = -1;
    int keepOpen_ = -1;
    std::string device_;
};

// The COM<n> link to a device in the port directory, removed on destruction
// when it still points at that device.
class TComLink {
public:
    // Throws std::runtime_error when the port directory cannot be used or
    // COM<n> is taken (a link to a device that exists, unless `replace`).
    TComLink(int com, const std::string& device, bool replace);
    ~TComLink();
    TComLink(const TComLink&) = delete;
    TComLink& operator=(const TComLink&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string device_;
};

}  // namespace sim
