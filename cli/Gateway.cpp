#include "Gateway.h"

#include "core/CyclicData.h"
#include "core/HexText.h"
#include "core/WeightFormat.h"
#include "mqtt/Json.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

std::optional<mqtt::TSettings> GatewaySettings(const TCliOptions& options, std::string& error)
{
    mqtt::TSettings settings;
    settings.broker = *mqtt::ParseBrokerUrl(options.mqttUrl, error);
    settings.clientId = options.mqttClientId;
    settings.user = options.mqttUser;
    settings.caFile = options.mqttCa;
    if (!options.mqttPasswordFile.empty()) {
        std::ifstream file(options.mqttPasswordFile);
        if (!file || !std::getline(file, settings.password)) {
            error = "--mqtt-password-file " + options.mqttPasswordFile + " cannot be read or is empty";
            return std::nullopt;
        }
        if (!settings.password.empty() && settings.password.back() == '\r') settings.password.pop_back();
    } else if (const char* password = std::getenv("QUORVEL_MQTT_PASSWORD"); password && !settings.user.empty()) {
        settings.password = password;
    }
    return settings;
}

std::string UtcText(std::int64_t utcMs)
{
    const std::time_t seconds = static_cast<std::time_t>(utcMs / 1000);
    std::tm utc{};
    if (const std::tm* converted = std::gmtime(&seconds)) utc = *converted;
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03dZ", static_cast<int>(utcMs % 1000));
    return std::string(text) + millis;
}

std::string LinkState(const std::string& text)
{
    if (text == "Connected") return "connected";
    if (text == "No answer from slave") return "no answer";
    if (text.find("refused") != std::string::npos) return "refused";
    return "connecting";
}

namespace {

constexpr std::size_t ModuleSlots = 8;  // a slave carries at most eight modules

// A state in which the values come from a live line: connected as master, or
// hearing another master's exchanges.
bool Live(const std::string& state) { return state == "connected" || state == "listening"; }

}  // namespace

TGateway::TGateway(const TCliOptions& options, std::string prefix)
    : prefix_(std::move(prefix)),
      interval_(options.mqttInterval),
      slaveAddress_(options.slaveAddress),
      moduleCount_(options.moduleCount),
      last_(ModuleSlots)
{
}

TGateway::~TGateway()
{
    publisher_.Stop(prefix_ + "/status", StatusPayload("offline", "quorvel-cli stopped",
                                                       std::chrono::duration_cast<std::chrono::milliseconds>(
                                                           std::chrono::system_clock::now().time_since_epoch())
                                                           .count()));
}

bool TGateway::Start(mqtt::TSettings settings, mqtt::TPublisher::TReport report, std::string& error)
{
    settings.willTopic = prefix_ + "/status";
    settings.willPayload = mqtt::TJsonObject().Text("state", "offline").Text("text", "the gateway is gone").Str();
    if (!publisher_.Start(settings, std::move(report), error)) return false;
    PublishInfo();
    return true;
}

std::string TGateway::StatusPayload(const std::string& state, const std::string& text, std::int64_t utcMs) const
{
    return mqtt::TJsonObject().Text("state", state).Text("text", text).Text("since", UtcText(utcMs)).Str();
}

void TGateway::Status(const std::string& state, const std::string& text, std::int64_t utcMs)
{
    const bool wasLive = Live(state_);
    state_ = state;
    publisher_.Publish(prefix_ + "/status", StatusPayload(state, text, utcMs), true);
    if (wasLive && !Live(state))
        for (std::size_t k = 0; k < last_.size(); ++k) PublishModule(static_cast<int>(k), true);
}

void TGateway::Values(const TByteString& response, int moduleCount, std::int64_t utcMs)
{
    const auto now = std::chrono::steady_clock::now();
    for (int k = 0; k < moduleCount && k < static_cast<int>(last_.size()) && cyclic::HasModuleBlock(response, k); ++k) {
        std::optional<TLastValues>& last = last_[static_cast<std::size_t>(k)];
        if (last && now - last->at < interval_) continue;
        const cyclic::TModuleValues v = cyclic::DecodeModuleBlock(response, k);
        last = TLastValues{mqtt::TJsonObject()
                               .Number("gross", FormatWeight(v.Gross))
                               .Number("net", FormatWeight(v.Net))
                               .Text("unit", "kg")
                               .Text("qualifier", v.Qualifier)
                               .Text("limit", v.LimitStatus)
                               .Text("status", v.StatusBytes)
                               .Str(),
                           UtcText(utcMs), now};
        PublishModule(k, !Live(state_));
    }
}

void TGateway::PublishModule(int k, bool stale)
{
    const std::optional<TLastValues>& last = last_[static_cast<std::size_t>(k)];
    if (!last) return;
    // The values' object with the two members that change added at its end.
    std::string payload = last->payload;
    payload.pop_back();
    payload +=
        ", \"stale\": " + std::string(stale ? "true" : "false") + ", \"time\": " + mqtt::JsonString(last->time) + "}";
    publisher_.Publish(prefix_ + "/module/" + std::to_string(k), payload, false);
}

void TGateway::Diagnosis(const diag::TDiagnosis& d)
{
    std::string flags;
    for (const diag::TFlag flag : d.Flags())
        flags += (flags.empty() ? "" : ", ") + mqtt::JsonString(diag::FlagName(flag));
    std::string extended;
    for (const std::uint8_t byte : d.extended) extended += (extended.empty() ? "" : " ") + hextext::Byte(byte);
    mqtt::TJsonObject payload;
    payload.Count("station", d.station);
    if (d.masterAddress == diag::noMaster)
        payload.Json("master", "null");
    else
        payload.Count("master", d.masterAddress);
    const std::string text =
        payload.Text("ident", hextext::Word(d.ident)).Json("flags", "[" + flags + "]").Text("extended", extended).Str();
    if (text == diagnosis_) return;
    diagnosis_ = text;
    publisher_.Publish(prefix_ + "/diagnosis", text, true);
    if (ident_ != d.ident) {
        ident_ = d.ident;
        PublishInfo();
    }
}

void TGateway::PublishInfo()
{
    mqtt::TJsonObject info;
    info.Text("program", "quorvel-cli").Text("version", QUORVEL_VERSION).Count("slave", slaveAddress_);
    if (ident_)
        info.Text("ident", hextext::Word(*ident_));
    else
        info.Json("ident", "null");
    publisher_.Publish(prefix_ + "/info", info.Count("modules", moduleCount_).Str(), true);
}

void TGateway::Bus(const TBusCounters& c, const TLineCounts& line)
{
    const auto ms = [](std::chrono::microseconds t) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(t.count()) / 1000.0);
        return std::string(text);
    };
    const std::string bad = mqtt::TJsonObject()
                                .Count("check sum", line.checkSum)
                                .Count("length", line.length)
                                .Count("end byte", line.endByte)
                                .Count("time", line.timeout)
                                .Count("parity", line.parity)
                                .Str();
    publisher_.Publish(prefix_ + "/bus",
                       mqtt::TJsonObject()
                           .Count("requests", c.requests)
                           .Count("answers", c.answers)
                           .Count("no answer", c.noAnswer)
                           .Count("bad", c.badAnswers)
                           .Json("bad by reason", bad)
                           .Count("noise", c.noiseBytes)
                           .Count("repeats", c.repeats)
                           .Count("late", c.late)
                           .Number("cycle ms", ms(c.lastCycle))
                           .Number("mean cycle ms", ms(c.meanCycle))
                           .Count("mqtt dropped", publisher_.Dropped())
                           .Str(),
                       false);
}
