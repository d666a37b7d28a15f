#include "Int32Text.h"

#include "base/IntegerText.h"

std::optional<std::int32_t> ParseInt32(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // Only digits may follow the sign.
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    const auto magnitude = ParseInteger(text, 0, std::int64_t{INT32_MAX} + 1);
    if (!magnitude || (!negative && *magnitude > INT32_MAX)) return std::nullopt;
    return static_cast<std::int32_t>(negative ? -*magnitude : *magnitude);
}

void AppendInt32(TByteString& command, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) command.Append(static_cast<std::uint8_t>(bits >> shift));
}
