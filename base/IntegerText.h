// Whole decimal numbers read from text: command-line options, typed values,
// port names.
#pragma once

#include <optional>
#include <string_view>

// The number `text` spells: decimal digits with an optional leading '-',
// nothing before or after, within [low, high]; nothing otherwise.
std::optional<long long> ParseInteger(std::string_view text, long long low, long long high);
