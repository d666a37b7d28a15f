// quorvel-cli --calibrate-check: a routine check of one module's calibration
// against a reference weight on its scale. Reads the decimal point, the
// display step and the no-motion time from the module, waits until the live
// gross weight is at rest (TSteadiness) and compares it with the reference.
#pragma once

#include "core/CommandClient.h"
#include "core/Steadiness.h"
#include "base/ByteString.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class T_DPV0;

class TCalibrateCheck {
public:
    static constexpr std::chrono::seconds RestLimit{30};  // of data exchange, waiting for rest

    TCalibrateCheck(T_DPV0& master, std::uint8_t unit, double referenceKg);
    // A Data_Exchange response: takes the channel's reply, sends the next
    // read, feeds the gross weight to the steadiness once the reads are in.
    void Received(const TByteString& telegram);
    // Every clock tick: gives up a read that is not answered in time.
    void Tick();

    bool Done() const { return !failure_.empty() || gross_.has_value(); }
    // The report, and whether the gross weight is within one display step.
    std::vector<std::string> Lines() const;
    bool Passed() const;

private:
    void SendNext();
    void TakeResult(std::uint8_t stat, std::int32_t value);

    std::uint8_t unit_;
    double reference_;
    TOwnChannelClient client_;
    std::vector<TByteString> reads_;
    std::vector<std::int32_t> values_;  // DP, DS, NT as read
    std::optional<TSteadiness> steadiness_;
    std::optional<TSteadiness::TClock::time_point> restSince_;  // when the wait for rest began
    std::optional<double> gross_;
    std::string failure_;
};

// The reference weight of --calibrate-check: a number of kg above 0.
std::optional<double> ParseReferenceKg(const std::string& text);
