#include "LineFaults.h"

#include "fdl/Framing.h"

#include <charconv>

namespace sim {

namespace {

constexpr auto LateBy = Millis(150);
constexpr std::size_t NoiseBytes = 20;
// A stray SD2 head whose length bytes announce 250 bytes that never come.
const TByteString StrayHead{fdl::SD2, 0xFA, 0xFA, fdl::SD2};
// An adapter that hands over the first bytes of a head alone: 68 LE.
constexpr std::size_t PausedHead = 2;

const struct {
    TFaultKind kind;
    const char* name;
} FaultNames[] = {
    {TFaultKind::Fcs, "fcs"},           {TFaultKind::Length, "length"},   {TFaultKind::Noise, "noise"},
    {TFaultKind::Sd1Noise, "sd1noise"}, {TFaultKind::Split, "split"},     {TFaultKind::Late, "late"},
    {TFaultKind::Drop, "drop"},         {TFaultKind::Silence, "silence"}, {TFaultKind::Flood, "flood"},
    {TFaultKind::Head, "head"},         {TFaultKind::Pause, "pause"},     {TFaultKind::Parity, "parity"},
};

bool ParseCount(const std::string& text, int min, int max, int& out)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc() && ptr == end && out >= min && out <= max;
}

bool TakesSeconds(TFaultKind kind) { return kind == TFaultKind::Silence || kind == TFaultKind::Flood; }
bool TakesValue(TFaultKind kind) { return TakesSeconds(kind) || kind == TFaultKind::Pause; }

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
        error = "--fault " + text +
                ": unknown kind; one of fcs, length, noise, sd1noise, split, late, drop, silence=S, flood=S, head, "
                "pause=MS, parity";
        return false;
    }
    const bool valued = TakesValue(fault.kind);
    if (valued != (name.size() < text.size() && text[name.size()] == '=')) {
        error = !valued ? "--fault " + text + ": only silence, flood and pause take a value"
                : TakesSeconds(fault.kind)
                    ? "--fault " + text + ": " + name + " needs its seconds, as in " + name + "=5"
                    : "--fault " + text + ": pause needs its milliseconds, as in pause=25";
        return false;
    }
    if (TakesSeconds(fault.kind) && !ParseCount(value, 1, 3600, fault.seconds)) {
        error = "--fault " + text + ": the seconds of " + name + " must be a number from 1 to 3600";
        return false;
    }
    if (fault.kind == TFaultKind::Pause && !ParseCount(value, 1, 1000, fault.milliseconds)) {
        error = "--fault " + text + ": the milliseconds of pause must be a number from 1 to 1000";
        return false;
    }
    return true;
}

TByteString RandomBytes(std::size_t count, std::minstd_rand& random)
{
    TByteString bytes;
    for (std::size_t i = 0; i < count; ++i) bytes.Append(static_cast<std::uint8_t>(random() & 0xFF));
    return bytes;
}

TFaultedAnswer ApplyFaults(const std::vector<TFault>& faults, long long answer, TByteString reply,
                           std::minstd_rand& random)
{
    TFaultedAnswer out;
    out.reply = std::move(reply);
    for (const TFault& fault : faults) {
        if (!fault.Hits(answer)) continue;
        std::string what = std::string("fault ") + FaultName(fault.kind);
        TByteString& r = out.reply;
        switch (fault.kind) {
        case TFaultKind::Fcs: r[r.size() - 2] ^= 0xFF; break;
        case TFaultKind::Length: r[2] = static_cast<std::uint8_t>(r[1] + 1); break;
        case TFaultKind::Noise: out.stray += RandomBytes(NoiseBytes, random); break;
        case TFaultKind::Sd1Noise: {
            TByteString bytes = TByteString{fdl::SD1} + RandomBytes(5, random);
            if (bytes[5] == fdl::ED && static_cast<std::uint8_t>(bytes[1] + bytes[2] + bytes[3]) == bytes[4])
                bytes[5] ^= 0xFF;  // stray bytes, never a telegram
            out.stray += bytes;
            break;
        }
        case TFaultKind::Split: out.split = true; break;
        case TFaultKind::Late: out.delay += LateBy; break;
        case TFaultKind::Drop: out.send = false; break;
        case TFaultKind::Silence:
        case TFaultKind::Flood:
            (fault.kind == TFaultKind::Silence ? out.silenceSeconds : out.floodSeconds) = fault.seconds;
            out.send = false;
            what += " for " + std::to_string(fault.seconds) + " s";
            break;
        case TFaultKind::Head:
            r = StrayHead;
            out.isAnswer = false;
            break;
        case TFaultKind::Pause:
            if (r.size() > PausedHead) out.headPause = Millis(fault.milliseconds);
            what += " of " + std::to_string(fault.milliseconds) + " ms after the head's first two bytes";
            break;
        case TFaultKind::Parity:
            // A character in the middle of the data unit, its value unchanged:
            // only the parity bit is wrong, so the check sum still holds.
            out.badChar = r.size() / 2;
            break;
        }
        out.hits.push_back({fault.kind, what});
    }
    return out;
}

}  // namespace sim
