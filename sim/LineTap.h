// A further pseudo-terminal on the simulator's line, linked as COM<n> like
// the main one: a program on it hears every byte on the line (requests,
// answers, tokens, noise), each when its stop bit is through, as the
// receiver of an adapter on the bus would, and what it writes goes onto the
// line (the server takes it from Fd()). A reader whose port is set to
// another rate than the line's reads only garbage, one random byte for each
// byte on the line.
#pragma once

#include "LineOutput.h"
#include "PtyLine.h"

#include <deque>
#include <random>

namespace sim {

class TLineTap {
public:
    // Throws std::runtime_error as TPtyLine and TComLink do.
    TLineTap(int com, bool replace, long baud, std::uint32_t seed);

    int Fd() const { return pty_.Fd(); }
    const std::string& Path() const { return link_.Path(); }
    const std::string& DevicePath() const { return pty_.DevicePath(); }

    // Bytes on the line, to be delivered when due.
    void Hear(const std::vector<TLineOutput::TByteAt>& bytes);
    std::optional<SimTime> NextDue() const;
    // Writes what is due by `now`; what the reader does not take is lost.
    void Deliver(SimTime now);
    // What the program wrote into the tap since the last call.
    std::vector<std::uint8_t> TakeWritten();

private:
    TPtyLine pty_;
    TComLink link_;
    long baud_;
    std::minstd_rand random_;
    std::deque<TLineOutput::TByteAt> due_;
};

}  // namespace sim
