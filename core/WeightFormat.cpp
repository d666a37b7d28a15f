#include "WeightFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int SignificantDigits = 6;
constexpr int MaxDecimals = 6;

std::string WithSeparator(std::string text, std::string_view separator)
{
    const auto dot = text.find('.');
    if (dot != std::string::npos) text.replace(dot, 1, separator);
    return text;
}

// "1.23457e+06" as the program shows it: capital E, at least two exponent digits.
std::string Scientific(double value)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, SignificantDigits - 1);
    std::string text(buf, r.ptr);
    const auto e = text.find('e');
    if (e != std::string::npos) text[e] = 'E';
    return text;
}

}  // namespace

std::string FormatWeight(double value, std::string_view decimalSeparator, int decimals)
{
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";

    // Round to six significant digits first, then show three decimals:
    // 1234.5678 becomes 1234.57 and then 1234.570.
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, SignificantDigits - 1);
    double rounded = 0;
    std::from_chars(buf, r.ptr, rounded);
    if (std::fabs(rounded) >= 1e6) return WithSeparator(Scientific(rounded), decimalSeparator);

    r = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, std::clamp(decimals, 0, MaxDecimals));
    std::string text(buf, r.ptr);
    // A negative value that rounds to zero reads as zero.
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return WithSeparator(text, decimalSeparator);
}
