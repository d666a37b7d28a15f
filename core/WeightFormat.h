// The weight format of the process values: fixed point with exactly three
// decimals after rounding to at most six significant digits; more than six
// digits before the decimal point switch to scientific notation. The decimal
// separator is the caller's (the user's locale).
#pragma once

#include <string>
#include <string_view>

// 1234.5678 -> "1234.570", 12.3456789 -> "12.346", 1234567 -> "1.23457E+06".
// Values that are not finite numbers read "NAN", "INF" or "-INF".
std::string FormatWeight(double value, std::string_view decimalSeparator = ".");
