// Where a successful command result goes and as what text, by the command
// that asked for it: a parameter page's item, the result edit, or the
// trend or total mass of the module page shown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace resultroute {

inline constexpr std::uint8_t MassFlowCommand = 0x29;

enum class TPlace { ResultEdit, ParameterItem, PageTrend, PageTotalMass };

struct TRoute {
    TPlace Place = TPlace::ResultEdit;
    int Sheet = -1;  // the parameter page, for ParameterItem
    // The text to show; none where the value cannot be shown (the edit
    // stays as it is) and for ParameterItem (the page shows the value).
    std::optional<std::string> Text;
};

// `separator` is the decimal separator of weights.
TRoute Route(std::uint8_t sentCmd, std::uint8_t sentIndex, std::int32_t value, std::string_view separator);

}  // namespace resultroute
