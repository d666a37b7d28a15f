#include "IntegerText.h"

#include <charconv>

std::optional<long long> ParseInteger(std::string_view text, long long low, long long high)
{
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || ptr != end || value < low || value > high) return std::nullopt;
    return value;
}
