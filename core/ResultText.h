// Texts of command results as the window shows them, without any widget:
// the module's error codes and hexadecimal values.
#pragma once

#include <cstdint>
#include <string>

namespace resulttext {

// Stat 0x01 and 0x03 mean success; 0x00 and 0x80 mean no result at all.
inline bool IsSuccess(std::uint8_t stat) { return stat == 0x01 || stat == 0x03; }
// The module's error code carried by an error Stat: its low six bits.
inline int ErrorCode(std::uint8_t stat) { return stat & 0x3F; }

// "** NOT_IMPLEMENTED **" for 1 ... "** BAD_FLOW_PARAM_VALUE **" for 18,
// "** ?ERROR? (<code>) **" for any other code.
std::string ErrorText(int code);

// Uppercase hexadecimal with at least `minDigits` digits (two's complement
// for negative values, so those always have 8).
std::string Hex(std::int32_t value, int minDigits);

}  // namespace resulttext
