#include "ResultText.h"

#include "HexText.h"

#include <array>
#include <string_view>

namespace resulttext {

namespace {

constexpr std::array<std::string_view, 19> ErrorNames{
    "",                      // 0 has no name
    "NOT_IMPLEMENTED",       // 1
    "NOT_READY",             // 2
    "ERR_BAUD",              // 3
    "CAL_NOT_OPEN",          // 4
    "BAD_CAL_ID",            // 5
    "BAD_CAL_VALUE",         // 6
    "TIMEOUT",               // 7
    "NOT_STABLE",            // 8
    "BAD_FILL_PARAM_ID",     // 9
    "BAD_FILL_PARAM_VALUE",  // 10
    "BAD_GEN_VALUE_ID",      // 11
    "BAD_GEN_PARAM_VALUE",   // 12
    "BAD_TRIG_PARAM_ID",     // 13
    "BAD_TRIG_PARAM_VALUE",  // 14
    "BAD_TARE_RANGE",        // 15
    "BAD_FILL_SLOPE",        // 16
    "BAD_FLOW_VALUE_ID",     // 17
    "BAD_FLOW_PARAM_VALUE",  // 18
};

}  // namespace

std::string ErrorText(int code)
{
    if (code > 0 && code < static_cast<int>(ErrorNames.size()))
        return "** " + std::string(ErrorNames[static_cast<std::size_t>(code)]) + " **";
    return "** ?ERROR? (" + std::to_string(code) + ") **";
}

std::string Hex(std::int32_t value, int minDigits)
{
    int digits = 1;
    for (auto v = static_cast<std::uint32_t>(value) >> 4; v != 0; v >>= 4) ++digits;
    return hextext::Digits(static_cast<std::uint32_t>(value), digits > minDigits ? digits : minDigits);
}

}  // namespace resulttext
