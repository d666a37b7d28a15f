#include "ComName.h"

#include "IntegerText.h"

std::string ComName(int number) { return "COM" + std::to_string(number); }

std::optional<int> ParseComName(std::string_view name)
{
    if (name.substr(0, 3) != "COM") return std::nullopt;
    const std::string_view digits = name.substr(3);
    if (digits.empty() || digits.front() < '1' || digits.front() > '9') return std::nullopt;
    const auto number = ParseInteger(digits, 1, MaxComNumber);
    if (!number) return std::nullopt;
    return static_cast<int>(*number);
}
