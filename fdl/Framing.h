// FDL framing as it appears on the line: the start delimiters, the check
// sum, how long a telegram takes on the wire, and the cutter that decides
// what stands at the front of received bytes. Every reader of the line
// (the serial channel, the master, the live list, the trace, the simulator)
// uses this one vocabulary: a complete telegram, an incomplete one (more
// bytes due), a corrupt one (with its reason), or noise (bytes that cannot
// start one). It knows every FDL frame:
//   SD1  10 DA SA FC FCS 16                 no data unit
//   SD2  68 LE LEr 68 DA SA FC DU FCS 16    variable data unit (LE = 3 + its length)
//   SD3  A2 DA SA FC DU(8) FCS 16           fixed data unit of 8 octets
//   SD4  DC DA SA                           the token, passed between masters
//   SC   E5                                 short acknowledgement
// The simulator reads the line with this same cutter on purpose: a second
// reader copied from this one would only repeat its mistakes, so the
// reading is checked against the standard's frames in tests/fdl instead.
#pragma once

#include "base/ByteString.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace fdl {

constexpr std::uint8_t SD1 = 0x10;  // fixed length, no data unit
constexpr std::uint8_t SD2 = 0x68;  // variable length with data unit
constexpr std::uint8_t SD3 = 0xA2;  // fixed length with a data unit of 8 octets
constexpr std::uint8_t SD4 = 0xDC;  // the token
constexpr std::uint8_t SC = 0xE5;   // short acknowledgement
constexpr std::uint8_t ED = 0x16;   // end delimiter
constexpr std::size_t SD1Length = 6;
constexpr std::size_t SD3DataLength = 8;
constexpr std::size_t SD3Length = 1 + 3 + SD3DataLength + 2;  // A2 DA SA FC DU FCS 16
constexpr std::size_t SD4Length = 3;
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
// Parity: the port's driver reported a character of it received with a
// parity or framing error (the serial channel tells, the cutter cannot).
enum class TFault : std::uint8_t { None, CheckSum, Length, EndByte, Timeout, Parity };

struct TCut {
    TCutKind kind = TCutKind::Incomplete;
    // Complete, Corrupt, Noise: the bytes at the front it spans.
    // Incomplete: the telegram's whole length once its head tells, else 0.
    std::size_t length = 0;
    TFault fault = TFault::None;  // Corrupt only
};

// What stands at the front of `count` received bytes. Noise spans the bytes
// up to the next one that can start a telegram (10, 68, A2, DC or E5). A
// corrupt telegram spans its own length (for unequal length bytes: the
// shorter one). An incomplete telegram's length is known from its first
// byte for SD1, SD3 and SD4, and from LE, the second byte, for SD2: an SD2
// whose LE cannot be a telegram's is noise at once, and LEr, once there,
// must equal it.
TCut Cut(const std::uint8_t* bytes, std::size_t count);
// The front is a telegram that has run out of its time on the line: it is
// dropped as corrupt (Timeout) up to the next byte that can start one, so
// what came behind it is scanned on.
TCut Expire(const std::uint8_t* bytes, std::size_t count);
// Why a corrupt telegram was dropped: "check sum", "length bytes differ", ...
const char* FaultText(TFault fault);

// One complete telegram taken apart. Addresses are without their extension
// bit; `dsap`/`ssap` are set when the bit announced them. A token (SD4) has
// addresses only; an SC nothing.
struct TFrame {
    std::uint8_t start = 0;  // SD1, SD2, SD3, SD4 or SC
    std::uint8_t da = 0;
    std::uint8_t sa = 0;
    std::uint8_t fc = 0;
    std::optional<std::uint8_t> dsap;
    std::optional<std::uint8_t> ssap;
    TByteString data;  // the data unit after any SAP bytes
    bool IsRequest() const { return (fc & RequestBit) != 0; }
    bool IsToken() const { return start == SD4; }
    // A telegram that carries a data unit (SD2, SD3): the frames a station may
    // answer with data in, whichever of the two fits the unit.
    bool HasDataUnit() const { return start == SD2 || start == SD3; }
};

// The telegram when `bytes` are exactly one complete telegram whose SAP
// bytes are all there; nothing otherwise.
std::optional<TFrame> Parse(const TByteString& bytes);

// Station type in the FDL_Status reply's function code (bits 5 and 4).
enum class TStationType { Slave, MasterNotReady, MasterReady, MasterInRing };
TStationType StationTypeOf(std::uint8_t fc);

}  // namespace fdl
