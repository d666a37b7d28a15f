#include "LineFaults.h"

#include "SlaveFrames.h"

#include <charconv>

namespace sim {

namespace {

constexpr auto LateBy = Millis(150);
constexpr std::size_t NoiseBytes = 20;
// A stray SD2 head whose length bytes announce 250 bytes that never come.
const TByteString StrayHead{Sd2, 0xFA, 0xFA, Sd2};

const struct {
    TFaultKind kind;
    const char* name;
} FaultNames[] = {
    {TFaultKind::Fcs, "fcs"},           {TFaultKind::Length, "length"},   {TFaultKind::Noise, "noise"},
    {TFaultKind::Sd1Noise, "sd1noise"}, {TFaultKind::Split, "split"},     {TFaultKind::Late, "late"},
    {TFaultKind::Drop, "drop"},         {TFaultKind::Silence, "silence"}, {TFaultKind::Flood, "flood"},
    {TFaultKind::Head, "head"},
};

bool ParseCount(const std::string& text, int min, int max, int& out)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc() && ptr == end && out >= min && out <= max;
}

bool TakesSeconds(TFaultKind kind) { return kind == TFaultKind::Silence || kind == TFaultKind::Flood; }

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
                ": unknown kind; one of fcs, length, noise, sd1noise, split, late, drop, silence=S, flood=S, head";
        return false;
    }
    const bool timed = TakesSeconds(fault.kind);
    if (timed != (name.size() < text.size() && text[name.size()] == '=')) {
        error = timed ? "--fault " + text + ": " + name + " needs its seconds, as in " + name + "=5"
                      : "--fault " + text + ": only silence and flood take a value";
        return false;
    }
    if (timed && !ParseCount(value, 1, 3600, fault.seconds)) {
        error = "--fault " + text + ": the seconds of " + name + " must be a number from 1 to 3600";
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
            TByteString bytes = TByteString{Sd1} + RandomBytes(5, random);
            if (bytes[5] == End && static_cast<std::uint8_t>(bytes[1] + bytes[2] + bytes[3]) == bytes[4])
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
        }
        out.hits.push_back({fault.kind, what});
    }
    return out;
}

}  // namespace sim
