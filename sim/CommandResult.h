// What a module answers to one command of the command channel: Stat, Index
// and Value, and the time from which the answer is ready (until then the
// channel shows the module as busy).
#pragma once

#include "SimClock.h"

#include <cstdint>

namespace sim {

// Module error codes (the low six bits of an error Stat).
enum TModuleError : std::uint8_t {
    errNotImplemented = 1,
    errNotReady = 2,
    errBaud = 3,
    errCalNotOpen = 4,
    errBadCalId = 5,
    errBadCalValue = 6,
    errTimeout = 7,
    errNotStable = 8,
    errBadFillParamId = 9,
    errBadFillParamValue = 10,
    errBadGenValueId = 11,
    errBadGenParamValue = 12,
    errBadTrigParamId = 13,
    errBadTrigParamValue = 14,
    errBadTareRange = 15,
    errBadFillSlope = 16,
    errBadFlowValueId = 17,
    errBadFlowParamValue = 18,
};

constexpr std::uint8_t StatNone = 0x00;   // no result in the channel
constexpr std::uint8_t StatBusy = 0x80;   // the module works on the command
constexpr std::uint8_t StatRead = 0x01;   // success: the value is data read from the module
constexpr std::uint8_t StatDone = 0x03;   // success: the module changed a setting or acted
constexpr std::uint8_t StatError = 0x40;  // OR the error code

struct TCommandResult {
    std::uint8_t stat = StatNone;
    std::int32_t value = 0;
    SimTime readyAt{};  // the answer shows from then on

    static TCommandResult Read(std::int32_t value) { return {StatRead, value, {}}; }
    static TCommandResult Done(std::int32_t value) { return {StatDone, value, {}}; }
    static TCommandResult Error(TModuleError code) { return {static_cast<std::uint8_t>(StatError | code), 0, {}}; }
    bool Succeeded() const { return stat == StatRead || stat == StatDone; }
};

}  // namespace sim
