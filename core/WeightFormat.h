// The weight format of the process values: fixed point with exactly three
// decimals (or the module's own count of them) after rounding to at most six
// significant digits; more than six
// digits before the decimal point switch to scientific notation. The decimal
// separator is the caller's (the user's locale).
#pragma once

#include <string>
#include <string_view>

// 1234.5678 -> "1234.570", 12.3456789 -> "12.346", 1234567 -> "1.23457E+06".
// Values that are not finite numbers read "NAN", "INF" or "-INF".
// `decimals` (0..6) replaces the three decimals: 1234.5678 with 1 -> "1234.6".
std::string FormatWeight(double value, std::string_view decimalSeparator = ".", int decimals = 3);
