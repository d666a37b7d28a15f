// quorvel-cli --weights FILE: every module's gross and net weight and status
// bytes of each data exchange, one CSV line per module, in the format of the
// window's weight plot export (no Qt here). A write error stops the log
// with a message giving the reason, and the file is cut back to its last
// whole row; the link goes on.
#pragma once

#include "base/ByteString.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

class TWeightLog {
public:
    // Creates `path` and writes the header; false with `error` set when it cannot.
    bool Start(const std::string& path, std::string& error, std::function<void(const std::string&)> report);
    // The module blocks of one Data_Exchange response, stamped `timeMs` (UTC).
    void Add(const TByteString& response, int moduleCount, std::int64_t timeMs);
    bool Recording() const { return out_.is_open(); }
    // A write error stopped the log before the run's end.
    bool Stopped() const { return !Recording() && !path_.empty(); }

private:
    std::ofstream out_;
    std::string path_;
    std::uintmax_t whole_ = 0;  // bytes of whole rows (and the header) in the file
    std::function<void(const std::string&)> report_;
};
