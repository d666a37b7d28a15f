// The DP-V0 slave station: start-up (Slave_Diag, Set_Prm, Chk_Cfg,
// Global_Control), the watchdog, and cyclic Data_Exchange through a process
// image supplied by the owner. Pure: it turns one request into at most one
// reply, with the time passed in. It keeps each master's frame count: an SRD
// request with FCV=1 and the same FCB as that master's last one is a repeat,
// answered with the last answer and not acted on again (a command is never
// carried out twice); FCV=0 starts the count afresh.
#pragma once

#include "SimClock.h"
#include "SlaveFrames.h"
#include "base/ByteString.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace sim {

constexpr std::uint16_t IdentNumber = 0x09C5;

// Service access points of the DP start-up (as DSAP of a request).
constexpr std::uint8_t SapGlobalControl = 58;
constexpr std::uint8_t SapGetCfg = 59;
constexpr std::uint8_t SapSlaveDiag = 60;
constexpr std::uint8_t SapSetPrm = 61;
constexpr std::uint8_t SapChkCfg = 62;

// Function codes of the slave's replies.
constexpr std::uint8_t FcDataLow = 0x08;       // response data, low priority
constexpr std::uint8_t FcSapNotActive = 0x03;  // RS: the service is not available now
constexpr std::uint8_t FcStatusSlave = 0x00;   // FDL status: a slave station

enum class TSlaveState { WaitPrm, WaitCfg, DataExchange };
const char* StateName(TSlaveState state);

class TDpSlave {
public:
    // Turns the master's output bytes into the station's input bytes.
    using ExchangeFn = std::function<TByteString(const TByteString& outputs, SimTime now)>;
    using StateFn = std::function<void(TSlaveState from, TSlaveState to, const std::string& why)>;

    TDpSlave(std::uint8_t address, int moduleCount, ExchangeFn exchange);

    // The reply to one request, or nothing (not addressed to this station,
    // a send-without-reply service, Global_Control).
    std::optional<TByteString> Handle(const TRequest& request, SimTime now);

    // With the watchdog on, the time at which silence sends the station back
    // to waiting for parameters.
    std::optional<SimTime> WatchdogDeadline() const;
    void CheckWatchdog(SimTime now);

    TSlaveState State() const { return state_; }
    std::uint8_t Address() const { return address_; }
    int ModuleCount() const { return moduleCount_; }
    Millis WatchdogTime() const { return watchdog_; }
    // The least time, in bit times, the station waits before it answers (min
    // TSDR); Set_Prm sets it, 55 until then.
    int MinTsdrBits() const { return minTsdr_; }
    // Repeats recognised and answered from the last answer.
    long long Repeats() const { return repeats_; }
    // The six standard diagnosis bytes as they stand now.
    TByteString Diagnosis() const;
    // The configuration the station accepts: C0 07 07, then 20 1F per module.
    TByteString Configuration() const;
    std::size_t OutputLength() const { return 8 + static_cast<std::size_t>(moduleCount_); }

    void SetOnStateChange(StateFn handler) { onStateChange_ = std::move(handler); }

private:
    std::optional<TByteString> HandleSrd(const TRequest& request, SimTime now);
    std::optional<TByteString> HandleSapRequest(const TRequest& request);
    std::optional<TByteString> HandleDataExchange(const TRequest& request, SimTime now);
    TByteString SetPrm(const TRequest& request);
    TByteString ChkCfg(const TRequest& request);
    TByteString DiagReply(const TRequest& request) const;
    void Enter(TSlaveState next, const std::string& why);

    std::uint8_t address_;
    int moduleCount_;
    ExchangeFn exchange_;
    StateFn onStateChange_;

    TSlaveState state_ = TSlaveState::WaitPrm;
    std::uint8_t masterAddress_ = 0xFF;  // 0xFF: not parameterised
    bool prmFault_ = false;
    bool cfgFault_ = false;
    bool notSupported_ = false;
    bool watchdogOn_ = false;
    Millis watchdog_{0};
    int minTsdr_ = 55;
    SimTime lastTelegram_{};
    struct TFrameCount {
        bool fcb = false;
        TByteString answer;  // to the last request with this FCB
    };
    std::map<std::uint8_t, TFrameCount> frameCounts_;  // by master address
    long long repeats_ = 0;
};

}  // namespace sim
