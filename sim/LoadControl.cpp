#include "LoadControl.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace sim {

namespace {

constexpr int MaxUnit = TSlaveStation::MaxModules - 1;

std::optional<int> ParseUnit(std::string_view text)
{
    int unit = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), unit);
    if (ec != std::errc() || end != text.data() + text.size() || unit < 0 || unit > MaxUnit) return std::nullopt;
    return unit;
}

std::optional<double> ParseKg(std::string_view text)
{
    double kg = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), kg);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(kg) || std::abs(kg) > MaxLoadKg)
        return std::nullopt;
    return kg;
}

std::string UnitError(std::string_view text)
{
    return "the unit must be a module's unit address from 0 to " + std::to_string(MaxUnit) + ", not '" +
           std::string(text) + "'";
}

std::string KgError(std::string_view text)
{
    return "the load must be a number of kg from " + std::to_string(-static_cast<int>(MaxLoadKg)) + " to " +
           std::to_string(static_cast<int>(MaxLoadKg)) + ", not '" + std::string(text) + "'";
}

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t\r", at);
        if (start == std::string_view::npos) break;
        const std::size_t end = std::min(line.find_first_of(" \t\r", start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

std::string KgText(double kg)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", kg);
    return text;
}

}  // namespace

std::optional<TLoadCommand> ParseLoadOption(std::string_view text, std::string& error)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        error = "--load must be UNIT:KG, not '" + std::string(text) + "'";
        return std::nullopt;
    }
    const auto unit = ParseUnit(text.substr(0, colon));
    const auto kg = ParseKg(text.substr(colon + 1));
    if (!unit || !kg) {
        error = "--load: " + (!unit ? UnitError(text.substr(0, colon)) : KgError(text.substr(colon + 1)));
        return std::nullopt;
    }
    return TLoadCommand{TLoadCommand::TKind::Load, *unit, *kg, false};
}

std::optional<TLoadCommand> ParseControlLine(std::string_view line, std::string& error)
{
    error.clear();
    const auto words = Words(line);
    if (words.empty() || words[0].front() == '#') return std::nullopt;
    const bool load = words[0] == "load";
    if ((!load && words[0] != "motion") || words.size() != 3) {
        error = "expected 'load UNIT KG' or 'motion UNIT on|off'";
        return std::nullopt;
    }
    const auto unit = ParseUnit(words[1]);
    if (!unit) {
        error = UnitError(words[1]);
        return std::nullopt;
    }
    if (load) {
        const auto kg = ParseKg(words[2]);
        if (!kg) {
            error = KgError(words[2]);
            return std::nullopt;
        }
        return TLoadCommand{TLoadCommand::TKind::Load, *unit, *kg, false};
    }
    if (words[2] != "on" && words[2] != "off") {
        error = "motion must be 'on' or 'off', not '" + std::string(words[2]) + "'";
        return std::nullopt;
    }
    return TLoadCommand{TLoadCommand::TKind::Motion, *unit, 0, words[2] == "on"};
}

bool ApplyLoadCommand(const TLoadCommand& command, const std::vector<TSlaveStation*>& stations, std::string& said)
{
    std::ostringstream where;
    for (TSlaveStation* station : stations) {
        if (command.unit >= station->ModuleCount()) continue;
        TScale& scale = station->Module(command.unit).Scale();
        if (command.kind == TLoadCommand::TKind::Load)
            scale.Load() = command.kg;
        else
            scale.SetMotion(command.motion);
        where << (where.tellp() > 0 ? ", " : "") << static_cast<int>(station->Dp().Address());
    }
    if (where.tellp() == 0) {
        said = "no station has a module at unit " + std::to_string(command.unit);
        return false;
    }
    const std::string what = command.kind == TLoadCommand::TKind::Load
                                 ? "load " + KgText(command.kg) + " kg"
                                 : std::string(command.motion ? "motion on" : "motion off");
    said = "unit " + std::to_string(command.unit) + " of station " + where.str() + ": " + what;
    return true;
}

}  // namespace sim
