// Enumerations and sets of the serial port component's settings. The ordinal
// values are fixed: parity uses the device layer's parity codes, the flow
// option sets map onto the dispatcher's flag words.
#pragma once

#include <chrono>
#include <cstdint>

enum TDeviceLayer : std::uint8_t { dlWin16, dlFossil, dlWin32, dlWinsock };

enum TParity : std::uint8_t { pNone, pOdd, pEven, pMark, pSpace };

enum THWFlowOptions : std::uint8_t { hwfUseDTR, hwfUseRTS, hwfRequireDSR, hwfRequireCTS };
// A set of THWFlowOptions, one bit each, hwfUseDTR in bit 0.
using THWFlowOptionSet = std::uint8_t;
constexpr THWFlowOptionSet HWFlowBit(THWFlowOptions o) { return static_cast<THWFlowOptionSet>(1u << o); }

enum TSWFlowOptions : std::uint8_t { swfNone, swfReceive, swfTransmit, swfBoth };

enum TTraceLogState : std::uint8_t { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };

enum TTapiMode : std::uint8_t { tmNone, tmAuto, tmOn, tmOff };

enum class TLinkState : std::uint8_t { Closed = 0, Closing = 1, Open = 2 };

// What the dispatcher knows of one received byte beside its value: when the
// read that brought it returned, and whether the driver reported it received
// with a parity or framing error (the device layer tells, see MarkBadInRead).
struct TInputMark {
    std::chrono::steady_clock::time_point arrived;
    bool bad = false;
};
