// The PROFIBUS address typed for the slave station.
#pragma once

#include <cstdint>
#include <string>

constexpr std::int32_t HighestSlaveAddress = 126;

// The address in `text` (decimal, blanks and sign allowed). Raises
// EConvertError for text that is no integer, and for an integer outside
// 0..126, which no DP slave can have.
std::int32_t ParseSlaveAddress(const std::string& text);
