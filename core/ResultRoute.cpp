#include "ResultRoute.h"

#include "CyclicData.h"
#include "HexText.h"
#include "ResultText.h"
#include "SheetCommands.h"
#include "WeightFormat.h"

#include <algorithm>
#include <exception>

namespace resultroute {

namespace {

// The value's four bytes as an IEEE 754 single in the weight format; none
// for a value that cannot be shown.
std::optional<std::string> Weight(std::int32_t value, std::string_view separator)
{
    try {
        return FormatWeight(cyclic::SingleFromBits(value), separator);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Mass flow answers by sub-function: state and controls in hex, trend value
// and total mass onto the module page shown, other values as weights.
TRoute MassFlow(std::uint8_t sentIndex, std::int32_t value, std::string_view separator)
{
    const int sub = sentIndex & 0x7F;
    if (sub <= 2) return {TPlace::ResultEdit, -1, resulttext::Hex(value, 2)};
    if (sub == 4) return {TPlace::PageTrend, -1, Weight(value, separator)};
    if (sub == 5) return {TPlace::PageTotalMass, -1, Weight(value, separator)};
    return {TPlace::ResultEdit, -1, Weight(value, separator)};
}

}  // namespace

TRoute Route(std::uint8_t sentCmd, std::uint8_t sentIndex, std::int32_t value, std::string_view separator)
{
    const auto& reads = sheetcmd::ReadCodes;
    if (const auto it = std::find(reads.begin(), reads.end(), sentCmd); it != reads.end())
        return {TPlace::ParameterItem, static_cast<int>(it - reads.begin()), std::nullopt};
    switch (sentCmd) {
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F:
    case 0x11: return {TPlace::ResultEdit, -1, Weight(value, separator)};
    case 0x10: return {TPlace::ResultEdit, -1, std::to_string(value)};
    case MassFlowCommand: return MassFlow(sentIndex, value, separator);
    default: return {TPlace::ResultEdit, -1, hextext::Value(value)};
    }
}

}  // namespace resultroute
