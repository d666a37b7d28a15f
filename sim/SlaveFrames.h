// The slave's side of the DP line: cutting the master's byte stream into
// request telegrams, and building the replies (SD1, SD2, SD3, short ack).
// The line is read and written with fdl/Framing.h, the master's own cutter,
// delimiters and check sum, on purpose: a second reader of the line copied
// from the first (as this file once was) tests nothing the first does not,
// and the frames themselves are checked against the standard's layouts in
// tests/fdl. What is the simulator's own is what a station does with a
// request: the idle rule for a partial telegram, and which frame answers.
#pragma once

#include "SimClock.h"
#include "base/ByteString.h"
#include "fdl/Framing.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

// One request as received. Addresses keep their extension bit (bit 7); when
// it is set, the matching service access point was taken from the data unit.
struct TRequest {
    std::uint8_t da = 0;
    std::uint8_t sa = 0;
    std::uint8_t fc = 0;
    std::optional<std::uint8_t> dsap;
    std::optional<std::uint8_t> ssap;
    TByteString data;        // the data unit after any SAP bytes
    std::size_t length = 0;  // bytes of the telegram on the line

    std::uint8_t Destination() const { return da & 0x7F; }
    std::uint8_t Source() const { return sa & 0x7F; }
};

// Cuts SD1, SD2 and SD3 request telegrams out of the received bytes with
// fdl::Cut. Bytes that cannot start a telegram (the master's FE FF 01 start
// sequence, line noise) are skipped; so is a telegram with a wrong length
// pair, check sum or end delimiter, over the span the cutter gives it. A
// token (SD4) or a short acknowledgement is no request and is passed over.
// A partial telegram followed by a pause longer than `idleGap` is dropped:
// the line was idle, so it can never be completed.
class TRequestParser {
public:
    explicit TRequestParser(Millis idleGap = Millis(30)) : idleGap_(idleGap) {}

    std::vector<TRequest> Feed(const std::uint8_t* bytes, std::size_t count, SimTime now);
    // When a held partial telegram will be dropped, if one is held.
    std::optional<SimTime> PartialDeadline() const;
    void Expire(SimTime now);
    std::size_t SkippedBytes() const { return skipped_; }

private:
    bool TakeOne(std::vector<TRequest>& out);  // false: need more bytes
    void Consume(std::size_t n);               // a telegram taken
    void Skip(std::size_t n);                  // bytes thrown away

    Millis idleGap_;
    std::vector<std::uint8_t> buffer_;
    SimTime lastByte_{};
    std::size_t skipped_ = 0;
};

// 10 DA SA FC FCS 16.
TByteString BuildSd1(std::uint8_t da, std::uint8_t sa, std::uint8_t fc);
// 68 LE LE 68 DA SA FC [DSAP SSAP] data FCS 16; the SAP bytes only when given.
TByteString BuildSd2(std::uint8_t da, std::uint8_t sa, std::uint8_t fc, std::optional<std::uint8_t> dsap,
                     std::optional<std::uint8_t> ssap, const TByteString& data);
// An SD2 whose data unit (SAP bytes and data) is 8 octets as the SD3 of the
// same unit, A2 DA SA FC DU FCS 16; any other telegram as it is.
TByteString AsSd3(const TByteString& telegram);
TByteString ShortAck();

}  // namespace sim
