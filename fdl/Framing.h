// FDL framing as it appears on the line: the start delimiters, the check
// sum, how long a telegram takes on the wire, and the cutter that decides
// what stands at the front of received bytes. Every reader of the line
// (the serial channel, the master, the live list, the trace) uses this one
// vocabulary: a complete telegram, an incomplete one (more bytes due), a
// corrupt one (with its reason), or noise (bytes that cannot start one).
#pragma once

#include "base/ByteString.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace fdl {

constexpr std::uint8_t SD1 = 0x10;  // fixed length, no data unit
constexpr std::uint8_t SD2 = 0x68;  // variable length with data unit
constexpr std::uint8_t SC = 0xE5;   // short acknowledgement
constexpr std::uint8_t ED = 0x16;   // end delimiter
constexpr std::size_t SD1Length = 6;
constexpr std::size_t SD2HeadLength = 4;                   // 68 LE LE 68
constexpr std::size_t MaxLe = TByteString::MaxLength - 6;  // a telegram fits a byte string
constexpr std::uint8_t ExtensionBit = 0x80;                // on an address: a SAP byte follows FC
constexpr std::uint8_t RequestBit = 0x40;                  // on FC: a request, not a response

constexpr int BitsPerChar = 11;  // start, 8 data, parity, stop
constexpr int MinTsdrBits = 55;  // the min TSDR the master sets in Set_Prm

// Sum modulo 256 of `count` bytes (the frame check sequence).
std::uint8_t Sum8(const std::uint8_t* bytes, std::size_t count);
// True when the sum of `count` bytes equals the byte that follows them.
bool SumMatches(const std::uint8_t* bytes, std::size_t count);

using Duration = std::chrono::microseconds;
// The time `chars` characters take on the line at `baud`.
Duration LineTime(std::size_t chars, int baud);
// How long a request's answer may take from the moment the request was
// written: the request's own time on the line, the min TSDR, the answer's
// time and the adapter's allowance.
Duration SlotTime(std::size_t requestLength, std::size_t answerLength, int baud, Duration allowance);

enum class TCutKind : std::uint8_t { Complete, Incomplete, Corrupt, Noise };
enum class TFault : std::uint8_t { None, CheckSum, Length, EndByte, Timeout };

struct TCut {
    TCutKind kind = TCutKind::Incomplete;
    // Complete, Corrupt, Noise: the bytes at the front it spans.
    // Incomplete: the telegram's whole length once its head tells, else 0.
    std::size_t length = 0;
    TFault fault = TFault::None;  // Corrupt only
};

// What stands at the front of `count` received bytes. Noise spans the bytes
// up to the next one that can start a telegram (10, 68 or E5). A corrupt
// telegram spans its own length (for unequal length bytes: the shorter one).
TCut Cut(const std::uint8_t* bytes, std::size_t count);
// The front is a telegram that has run out of its time on the line: it is
// dropped as corrupt (Timeout) up to the next byte that can start one, so
// what came behind it is scanned on.
TCut Expire(const std::uint8_t* bytes, std::size_t count);
// Why a corrupt telegram was dropped: "check sum", "length bytes differ", ...
const char* FaultText(TFault fault);

// One complete SD1, SD2 or SC telegram taken apart. Addresses are without
// their extension bit; `dsap`/`ssap` are set when the bit announced them.
struct TFrame {
    std::uint8_t start = 0;  // SD1, SD2 or SC
    std::uint8_t da = 0;
    std::uint8_t sa = 0;
    std::uint8_t fc = 0;
    std::optional<std::uint8_t> dsap;
    std::optional<std::uint8_t> ssap;
    TByteString data;  // the data unit after any SAP bytes
    bool IsRequest() const { return (fc & RequestBit) != 0; }
};

// The telegram when `bytes` are exactly one complete telegram whose SAP
// bytes are all there; nothing otherwise.
std::optional<TFrame> Parse(const TByteString& bytes);

// Station type in the FDL_Status reply's function code (bits 5 and 4).
enum class TStationType { Slave, MasterNotReady, MasterReady, MasterInRing };
TStationType StationTypeOf(std::uint8_t fc);

}  // namespace fdl
