#include "Diagnosis.h"

#include "fdl/Framing.h"
#include "Telegram.h"

#include <cstdio>

namespace diag {

namespace {

struct TFlagBit {
    const char* name;
    int byte;
    std::uint8_t mask;
};

// Station status 2 bit 2 is always set and bit 6 is reserved: not shown.
constexpr TFlagBit flagBits[FlagCount] = {
    {"Station_Non_Existent", 0, 0x01},
    {"Station_Not_Ready", 0, 0x02},
    {"Cfg_Fault", 0, 0x04},
    {"Ext_Diag", 0, 0x08},
    {"Not_Supported", 0, 0x10},
    {"Invalid_Slave_Response", 0, 0x20},
    {"Prm_Fault", 0, 0x40},
    {"Master_Lock", 0, 0x80},
    {"Prm_Req", 1, 0x01},
    {"Stat_Diag", 1, 0x02},
    {"WD_On", 1, 0x08},
    {"Freeze_Mode", 1, 0x10},
    {"Sync_Mode", 1, 0x20},
    {"Deactivated", 1, 0x80},
    {"Ext_Diag_Overflow", 2, 0x80},
};

constexpr std::size_t standardLength = 6;
constexpr std::size_t maxModules = 8;

}  // namespace

const char* FlagName(TFlag flag) { return flag < FlagCount ? flagBits[flag].name : "?"; }

bool TDiagnosis::Has(TFlag flag) const
{
    return flag < FlagCount && (status[flagBits[flag].byte] & flagBits[flag].mask) != 0;
}

std::vector<TFlag> TDiagnosis::Flags() const
{
    std::vector<TFlag> set;
    for (int f = 0; f < FlagCount; ++f)
        if (Has(static_cast<TFlag>(f))) set.push_back(static_cast<TFlag>(f));
    return set;
}

std::optional<TDiagnosis> Decode(std::uint8_t station, const TByteString& unit)
{
    if (unit.size() < standardLength) return std::nullopt;
    TDiagnosis d;
    d.station = station;
    for (int i = 0; i < 3; ++i) d.status[i] = unit[static_cast<std::size_t>(i)];
    d.masterAddress = unit[3];
    d.ident = static_cast<std::uint16_t>(unit[4] << 8 | unit[5]);
    d.extended = unit.Mid(standardLength, unit.size() - standardLength);
    return d;
}

std::optional<TDiagnosis> DecodeReply(const TByteString& received)
{
    const fdl::TCut cut = fdl::Cut(received.data(), received.size());
    const auto frame = fdl::Parse(received.Mid(0, cut.length));
    if (!frame || !frame->HasDataUnit() || !frame->dsap || !frame->ssap ||
        (*frame->dsap << 8 | *frame->ssap) != static_cast<std::uint16_t>(rcDiagReply))
        return std::nullopt;
    return Decode(frame->sa, frame->data);
}

std::string Line(const TDiagnosis& d)
{
    char ident[8];
    std::snprintf(ident, sizeof ident, "%04X", d.ident);
    std::string flags;
    for (const TFlag f : d.Flags()) flags += (flags.empty() ? "" : ",") + std::string(FlagName(f));
    return "diag station " + std::to_string(d.station) + " master " +
           (d.masterAddress == noMaster ? std::string("-") : std::to_string(d.masterAddress)) + " ident " + ident +
           " flags " + (flags.empty() ? "-" : flags) + " ext " + Hex(d.extended);
}

std::optional<int> WzmModuleCount(const TByteString& config)
{
    const std::size_t n = config.size() < 3 ? 0 : (config.size() - 3) / 2;
    if (n < 1 || n > maxModules || config.size() != 3 + 2 * n) return std::nullopt;
    if (config[0] != 0xC0 || config[1] != 0x07 || config[2] != 0x07) return std::nullopt;
    for (std::size_t i = 0; i < n; ++i)
        if (config[3 + 2 * i] != 0x20 || config[4 + 2 * i] != 0x1F) return std::nullopt;
    return static_cast<int>(n);
}

std::string ModuleCountText(const TByteString& config)
{
    const auto n = WzmModuleCount(config);
    return n ? std::to_string(*n) : "not a WZM configuration";
}

std::string Hex(const TByteString& bytes)
{
    if (bytes.empty()) return "-";
    std::string text;
    char byte[4];
    for (const std::uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, "%02X", b);
        text += (text.empty() ? "" : " ") + std::string(byte);
    }
    return text;
}

}  // namespace diag
