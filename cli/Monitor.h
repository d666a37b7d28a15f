// What quorvel-cli prints of the master's work: each status text when it
// changes, and after each Data_Exchange response one line per module.
#pragma once

#include "dp/Profi_dp.h"

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

class TMonitor {
public:
    // Registers its handlers on `master`; both must outlive the monitor's use.
    TMonitor(T_DPV0& master, std::ostream& out);

    // "WZM k gross G net N qualifier QQQQ limit LL status SS SS manufacturer MM MM MM"
    // for module k of a Data_Exchange response that holds its whole block.
    static std::string ModuleLine(const TByteString& response, int k);

    // True once a Data_Exchange response came after the latest "Connected"
    // (and no other status text since): the link really carries data.
    bool Exchanging() const { return exchanging_; }
    // Start -> "Connected" and the data exchanges since, for --stats:
    // "timing connected after 1234 ms, 9.9 exchanges/s" (or "never connected").
    void MarkStart() { start_ = TClock::now(); }
    std::string TimingLine() const;
    // Also hands each Data_Exchange response in data exchange to `handler`;
    // `printValues` false leaves out the module lines.
    void SetOnData(std::function<void(const TByteString&)> handler, bool printValues)
    {
        onData_ = std::move(handler);
        printValues_ = printValues;
    }

    // Also hands each status text that differs from the one before to `handler`.
    void SetOnStatus(std::function<void(const std::string&)> handler) { onStatus_ = std::move(handler); }

private:
    void Received(const TByteString& telegram);
    void StatusText(const std::string& text);

    using TClock = std::chrono::steady_clock;

    T_DPV0& master_;
    std::ostream& out_;
    TClock::time_point start_ = TClock::now();
    std::optional<TClock::time_point> connectedAt_;  // the latest "Connected"
    TClock::time_point lastExchange_;
    long exchanges_ = 0;  // Data_Exchange responses since connectedAt_
    std::string lastText_;
    bool exchanging_ = false;
    std::function<void(const TByteString&)> onData_;
    bool printValues_ = true;
    std::function<void(const std::string&)> onStatus_;
};
