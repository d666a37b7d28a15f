#include "LineFaults.h"

#include <charconv>

namespace sim {

namespace {

const struct {
    TFaultKind kind;
    const char* name;
} FaultNames[] = {
    {TFaultKind::Fcs, "fcs"},           {TFaultKind::Length, "length"},   {TFaultKind::Noise, "noise"},
    {TFaultKind::Sd1Noise, "sd1noise"}, {TFaultKind::Split, "split"},     {TFaultKind::Late, "late"},
    {TFaultKind::Drop, "drop"},         {TFaultKind::Silence, "silence"},
};

bool ParseCount(const std::string& text, int min, int max, int& out)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc() && ptr == end && out >= min && out <= max;
}

}  // namespace

const char* FaultName(TFaultKind kind)
{
    for (const auto& n : FaultNames)
        if (n.kind == kind) return n.name;
    return "?";
}

bool ParseFault(const std::string& text, TFault& fault, std::string& error)
{
    std::string name = text;
    fault = TFault{};
    if (const auto at = name.find('@'); at != std::string::npos) {
        if (!ParseCount(name.substr(at + 1), 1, 1000000000, fault.at)) {
            error = "--fault " + text + ": the answer after @ must be a number from 1 to 1000000000";
            return false;
        }
        name.resize(at);
    }
    std::string value;
    if (const auto eq = name.find('='); eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
    }
    bool known = false;
    for (const auto& n : FaultNames)
        if (name == n.name) {
            fault.kind = n.kind;
            known = true;
        }
    if (!known) {
        error = "--fault " + text + ": unknown kind; one of fcs, length, noise, sd1noise, split, late, drop, silence=S";
        return false;
    }
    const bool silence = fault.kind == TFaultKind::Silence;
    if (silence != (name.size() < text.size() && text[name.size()] == '=')) {
        error = silence ? "--fault " + text + ": silence needs its seconds, as in silence=5"
                        : "--fault " + text + ": only silence takes a value";
        return false;
    }
    if (silence && !ParseCount(value, 1, 3600, fault.seconds)) {
        error = "--fault " + text + ": the seconds of silence must be a number from 1 to 3600";
        return false;
    }
    return true;
}

}  // namespace sim
