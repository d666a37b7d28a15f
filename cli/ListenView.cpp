#include "ListenView.h"

#include "Monitor.h"
#include "core/CyclicData.h"
#include "core/ResultText.h"
#include "dp/Diagnosis.h"

#include <chrono>
#include <cstdio>

namespace {

using namespace std::chrono;

std::string Milliseconds(buslisten::Clock::duration d)
{
    return std::to_string(duration_cast<milliseconds>(d).count()) + " ms";
}

std::string Hex2(std::uint8_t b)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

// What a finished command's Stat says: " ok", or the module's error text.
std::string Outcome(std::uint8_t stat)
{
    if (stat == 0x00 || stat == 0x80) return {};
    if (resulttext::IsSuccess(stat)) return " ok";
    return " " + resulttext::ErrorText(resulttext::ErrorCode(stat));
}

// The master's command and the slave's reply, as the channel carries them.
std::string ChannelLine(std::uint8_t address, const buslisten::TStation& station)
{
    if (station.outputs.size() < cyclic::OutValue + 4) return {};
    const auto reply = cyclic::ReadChannel(station.inputs);
    if (!reply) return {};
    const std::uint8_t* out = station.outputs.data();
    return "station " + std::to_string(address) + " command " + Hex2(out[cyclic::OutCmd]) + " index " +
           std::to_string(out[cyclic::OutIndex]) + " value " +
           std::to_string(cyclic::ReadInt32(out + cyclic::OutValue)) + " reply stat " + Hex2(reply->Stat) + " index " +
           std::to_string(reply->Index) + " value " + std::to_string(reply->Value) + Outcome(reply->Stat);
}

}  // namespace

std::string TListenView::StationLine(std::uint8_t address, const buslisten::TStation& station)
{
    std::string line = "station " + std::to_string(address) + " " + buslisten::RoleText(station.role);
    if (station.modules)
        line += " weighing " + std::to_string(*station.modules) + " module(s)";
    else if (station.exchanges > 0)
        line += " layout outputs " + std::to_string(station.outputLength) + " inputs " +
                std::to_string(station.inputLength);
    if (!station.setPrm.empty()) line += " prm " + diag::Hex(station.setPrm);
    if (!station.chkCfg.empty()) line += " config " + diag::Hex(station.chkCfg);
    if (station.diagnosis) line += " ident " + Hex2(station.diagnosis->ident >> 8) + Hex2(station.diagnosis->ident);
    return line;
}

std::string TListenView::StatsLine(std::uint8_t address, const buslisten::TStation& s, buslisten::Clock::time_point now)
{
    std::string line = "stats station " + std::to_string(address) + " " + buslisten::RoleText(s.role) + " requests " +
                       std::to_string(s.requests) + " answers " + std::to_string(s.answers) + " repeats " +
                       std::to_string(s.repeats) + " no answer " + std::to_string(s.unanswered) + " bad ";
    for (std::size_t fault = 1; fault < s.bad.size(); ++fault)
        line += std::to_string(s.bad[fault]) + (fault + 1 < s.bad.size() ? "/" : "");
    if (s.lastHeard != buslisten::Clock::time_point{})
        line += " last heard " + Milliseconds(now - s.lastHeard) + " ago";
    if (s.cycle.count() > 0) line += " cycle " + Milliseconds(s.cycle);
    if (s.rotation.count() > 0) line += " token rotation " + Milliseconds(s.rotation);
    return line;
}

bool TListenView::Shown(std::uint8_t address, const buslisten::TStation& station) const
{
    return station.modules && (!address_ || *address_ == address);
}

void TListenView::Update(const buslisten::TBusListener& listener, TWeightLog& weights, std::int64_t utcMs)
{
    for (const auto& [address, station] : listener.Stations()) {
        const std::string line = StationLine(address, station);
        if (station.role != buslisten::TRole::Unknown && said_[address] != line) {
            said_[address] = line;
            out_ << line << '\n';
        }
        if (station.diagnosis) {
            const std::string diagnosis = diag::Line(*station.diagnosis);
            if (diagSaid_[address] != diagnosis) out_ << (diagSaid_[address] = diagnosis) << '\n';
        }
        if (Shown(address, station)) Values(address, station, weights, utcMs);
    }
    out_.flush();
}

void TListenView::Values(std::uint8_t address, const buslisten::TStation& station, TWeightLog& weights,
                         std::int64_t utcMs)
{
    std::uint64_t& shown = exchanges_[address];
    if (station.exchanges == shown) return;
    shown = station.exchanges;
    const std::string prefix = address_ ? "" : "station " + std::to_string(address) + " ";
    for (int k = 0; k < *station.modules; ++k)
        if (cyclic::HasModuleBlock(station.inputs, k))
            out_ << prefix << TMonitor::ModuleLine(station.inputs, k) << '\n';
    weights.Add(station.inputs, *station.modules, utcMs);
    const std::string channel = ChannelLine(address, station);
    if (!channel.empty() && channelSaid_[address] != channel) {
        channelSaid_[address] = channel;
        out_ << channel << '\n';
    }
}
