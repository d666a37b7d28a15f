// Puts weights on the simulated scales and shakes them: the --load option
// ("UNIT:KG") and the lines of the control file ("load UNIT KG",
// "motion UNIT on|off"). UNIT is the module's unit address, 0..7.
#pragma once

#include "SlaveStation.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct TLoadCommand {
    enum class TKind { Load, Motion };
    TKind kind = TKind::Load;
    int unit = 0;
    double kg = 0;        // Load: the true load on the scale
    bool motion = false;  // Motion: shaking or still
};

constexpr double MaxLoadKg = 100000;  // either way: a negative load lifts

// "UNIT:KG" of --load; nothing with `error` set when it is not one.
std::optional<TLoadCommand> ParseLoadOption(std::string_view text, std::string& error);

// One line of the control file. Nothing with `error` empty for a blank line
// or a comment ('#'), nothing with `error` set for a line that is not a
// command.
std::optional<TLoadCommand> ParseControlLine(std::string_view line, std::string& error);

// Applies the command to module `unit` of every station that has one and
// says what it did; false with `said` the reason when no station has it.
bool ApplyLoadCommand(const TLoadCommand& command, const std::vector<TSlaveStation*>& stations, std::string& said);

}  // namespace sim
