// What quorvel-cli publishes to an MQTT broker, under a topic prefix:
//   PREFIX/status     retained: the link's state, its text and since when
//                     ("offline" as the broker's last will and at the end);
//   PREFIX/module/K   each module's values, at most every interval, and once
//                     more marked stale when the link stops being live;
//   PREFIX/bus        the bus counters, every 10 s;
//   PREFIX/diagnosis  retained, when the slave's diagnosis changes;
//   PREFIX/info       retained: program, version, slave, ident, modules.
// Payloads are JSON objects; times are UTC ("2026-12-10T16:34:28.123Z").
#pragma once

#include "CliOptions.h"
#include "dp/Diagnosis.h"
#include "dp/Profi_dp.h"
#include "mqtt/Publisher.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The publisher's settings the options give, the password read from
// --mqtt-password-file (its first line) or QUORVEL_MQTT_PASSWORD, with
// --mqtt-user only; nothing,
// with `error`, when the file cannot be read.
std::optional<mqtt::TSettings> GatewaySettings(const TCliOptions& options, std::string& error);

// "2026-12-10T16:34:28.123Z" for milliseconds since 1970 in UTC.
std::string UtcText(std::int64_t utcMs);

// The status payload's state for a status text of the master: "connected",
// "no answer", "refused" or "connecting".
std::string LinkState(const std::string& text);

class TGateway {
public:
    static constexpr std::chrono::seconds BusPeriod{10};

    TGateway(const TCliOptions& options, std::string prefix);
    ~TGateway();  // publishes the status "offline" and disconnects

    bool Start(mqtt::TSettings settings, mqtt::TPublisher::TReport report, std::string& error);

    void Status(const std::string& state, const std::string& text, std::int64_t utcMs);
    // A Data_Exchange response in data exchange.
    void Values(const TByteString& response, int moduleCount, std::int64_t utcMs);
    void Diagnosis(const diag::TDiagnosis& diagnosis);
    void Bus(const TBusCounters& counters, const TLineCounts& line);

    std::uint64_t Dropped() const { return publisher_.Dropped(); }

private:
    struct TLastValues {
        std::string payload;  // without "stale" and "time"
        std::string time;
        std::chrono::steady_clock::time_point at;
    };

    void PublishInfo();
    void PublishModule(int k, bool stale);
    std::string StatusPayload(const std::string& state, const std::string& text, std::int64_t utcMs) const;

    mqtt::TPublisher publisher_;
    const std::string prefix_;
    const std::chrono::milliseconds interval_;
    const int slaveAddress_;
    const int moduleCount_;
    std::string state_;
    std::string diagnosis_;
    std::optional<std::uint16_t> ident_;
    std::vector<std::optional<TLastValues>> last_;
};
