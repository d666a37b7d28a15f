#include "DpSlave.h"

#include <cstdio>

namespace sim {

namespace {

constexpr std::uint8_t Broadcast = 127;
constexpr std::uint8_t FunctionMask = 0x0F;
constexpr std::uint8_t RequestBit = 0x40;
constexpr std::uint8_t FrameCountBit = 0x20;
constexpr std::uint8_t FrameCountValid = 0x10;
constexpr std::uint8_t FdlStatus = 0x09;
constexpr std::uint8_t SrdLow = 0x0C;
constexpr std::uint8_t SrdHigh = 0x0D;
constexpr std::uint8_t SdnLow = 0x04;
constexpr std::uint8_t SdnHigh = 0x06;

// Set_Prm Station_Status bits.
constexpr std::uint8_t LockReq = 0x80;
constexpr std::uint8_t UnlockReq = 0x40;
constexpr std::uint8_t SyncFreezeReq = 0x30;
constexpr std::uint8_t WatchdogOn = 0x08;

bool IsSrd(std::uint8_t fc) { return (fc & FunctionMask) == SrdLow || (fc & FunctionMask) == SrdHigh; }
bool IsSdn(std::uint8_t fc) { return (fc & FunctionMask) == SdnLow || (fc & FunctionMask) == SdnHigh; }

}  // namespace

const char* StateName(TSlaveState state)
{
    switch (state) {
    case TSlaveState::WaitPrm: return "waiting for parameters";
    case TSlaveState::WaitCfg: return "waiting for configuration";
    case TSlaveState::DataExchange: return "data exchange";
    }
    return "?";
}

TDpSlave::TDpSlave(std::uint8_t address, int moduleCount, ExchangeFn exchange)
    : address_(address), moduleCount_(moduleCount), exchange_(std::move(exchange))
{
}

std::optional<TByteString> TDpSlave::Handle(const TRequest& request, SimTime now)
{
    const std::uint8_t destination = request.Destination();
    if (destination != address_ && destination != Broadcast) return std::nullopt;
    if (!(request.fc & RequestBit)) return std::nullopt;
    CheckWatchdog(now);
    lastTelegram_ = now;

    if (request.dsap == SapGlobalControl) return std::nullopt;  // never answered
    if (destination == Broadcast || IsSdn(request.fc)) return std::nullopt;
    if ((request.fc & FunctionMask) == FdlStatus) return BuildSd1(request.Source(), address_, FcStatusSlave);
    if (!IsSrd(request.fc)) return std::nullopt;
    return HandleSrd(request, now);
}

std::optional<TByteString> TDpSlave::HandleSrd(const TRequest& request, SimTime now)
{
    const bool fcb = (request.fc & FrameCountBit) != 0;
    const auto known = frameCounts_.find(request.Source());
    if ((request.fc & FrameCountValid) && known != frameCounts_.end() && known->second.fcb == fcb) {
        ++repeats_;
        return known->second.answer;
    }
    auto reply = request.dsap ? HandleSapRequest(request) : HandleDataExchange(request, now);
    if (reply) frameCounts_[request.Source()] = {fcb, *reply};
    return reply;
}

std::optional<TByteString> TDpSlave::HandleSapRequest(const TRequest& request)
{
    switch (*request.dsap) {
    case SapSlaveDiag: return DiagReply(request);
    case SapSetPrm: return SetPrm(request);
    case SapChkCfg: return ChkCfg(request);
    case SapGetCfg:
        return BuildSd2(0x80 | request.Source(), 0x80 | address_, FcDataLow, request.ssap.value_or(SapChkCfg),
                        SapGetCfg, Configuration());
    default: return BuildSd1(request.Source(), address_, FcSapNotActive);
    }
}

std::optional<TByteString> TDpSlave::HandleDataExchange(const TRequest& request, SimTime now)
{
    if (state_ != TSlaveState::DataExchange || request.Source() != masterAddress_)
        return BuildSd1(request.Source(), address_, FcSapNotActive);
    if (request.data.size() != OutputLength()) {
        Enter(TSlaveState::WaitPrm, "output data of " + std::to_string(request.data.size()) + " bytes, expected " +
                                        std::to_string(OutputLength()));
        return BuildSd1(request.Source(), address_, FcSapNotActive);
    }
    return BuildSd2(request.Source(), address_, FcDataLow, std::nullopt, std::nullopt, exchange_(request.data, now));
}

TByteString TDpSlave::DiagReply(const TRequest& request) const
{
    TByteString diagnosis = Diagnosis();
    // Another master than the one that parameterised the station asks.
    if (masterAddress_ != 0xFF && request.Source() != masterAddress_) diagnosis[0] |= 0x80;  // Master_Lock
    return BuildSd2(0x80 | request.Source(), 0x80 | address_, FcDataLow, request.ssap.value_or(SapChkCfg), SapSlaveDiag,
                    diagnosis);
}

TByteString TDpSlave::SetPrm(const TRequest& request)
{
    const TByteString& prm = request.data;
    if (prm.size() < 7) {
        prmFault_ = true;
        Enter(TSlaveState::WaitPrm, "parameter frame of " + std::to_string(prm.size()) + " bytes refused");
        return ShortAck();
    }
    const std::uint8_t status = prm[0];
    if ((status & UnlockReq) && !(status & LockReq)) {
        masterAddress_ = 0xFF;
        watchdogOn_ = false;
        Enter(TSlaveState::WaitPrm, "released by master " + std::to_string(request.Source()));
        return ShortAck();
    }
    const unsigned ident = static_cast<unsigned>(prm[4]) << 8 | prm[5];
    const Millis watchdog = Millis(10 * prm[1] * prm[2]);
    notSupported_ = (status & SyncFreezeReq) != 0;
    prmFault_ = ident != IdentNumber || ((status & WatchdogOn) && watchdog.count() == 0);
    if (prmFault_ || notSupported_) {
        char text[96];
        std::snprintf(text, sizeof text, "parameters refused (Ident_Number %04X, station status %02X)", ident, status);
        Enter(TSlaveState::WaitPrm, text);
        return ShortAck();
    }
    watchdogOn_ = (status & WatchdogOn) != 0;
    watchdog_ = watchdog;
    if (prm[3] != 0) minTsdr_ = prm[3];  // 0 keeps the time in force
    masterAddress_ = request.Source();
    std::string why = "parameterised by master " + std::to_string(masterAddress_);
    why += watchdogOn_ ? ", watchdog " + std::to_string(watchdog_.count()) + " ms" : ", watchdog off";
    Enter(TSlaveState::WaitCfg, why);
    return ShortAck();
}

TByteString TDpSlave::ChkCfg(const TRequest& request)
{
    if (state_ == TSlaveState::WaitPrm) return ShortAck();  // still waits for parameters
    if (request.data == Configuration()) {
        cfgFault_ = false;
        Enter(TSlaveState::DataExchange, "configuration accepted");
    } else {
        cfgFault_ = true;
        Enter(TSlaveState::WaitPrm, "configuration" + HexDump(request.data) + " does not match" +
                                        HexDump(Configuration()) + " for " + std::to_string(moduleCount_) +
                                        " module(s)");
    }
    return ShortAck();
}

std::optional<SimTime> TDpSlave::WatchdogDeadline() const
{
    if (!watchdogOn_ || state_ == TSlaveState::WaitPrm) return std::nullopt;
    return lastTelegram_ + watchdog_;
}

void TDpSlave::CheckWatchdog(SimTime now)
{
    const auto deadline = WatchdogDeadline();
    if (!deadline || now <= *deadline) return;
    masterAddress_ = 0xFF;
    watchdogOn_ = false;
    Enter(TSlaveState::WaitPrm, "watchdog expired");
}

TByteString TDpSlave::Diagnosis() const
{
    std::uint8_t status1 = 0;
    if (state_ != TSlaveState::DataExchange) status1 |= 0x02;  // Station_Not_Ready
    if (cfgFault_) status1 |= 0x04;
    if (notSupported_) status1 |= 0x10;
    if (prmFault_) status1 |= 0x40;
    std::uint8_t status2 = 0x04;                                         // always set
    if (state_ == TSlaveState::WaitPrm) status2 |= 0x01;                 // Prm_Req
    if (watchdogOn_ && state_ != TSlaveState::WaitPrm) status2 |= 0x08;  // WD_On
    return {status1, status2, 0x00, masterAddress_, IdentNumber >> 8, IdentNumber & 0xFF};
}

TByteString TDpSlave::Configuration() const
{
    TByteString cfg{0xC0, 0x07, 0x07};
    for (int i = 0; i < moduleCount_; ++i) cfg += TByteString{0x20, 0x1F};
    return cfg;
}

void TDpSlave::Enter(TSlaveState next, const std::string& why)
{
    const TSlaveState previous = state_;
    state_ = next;
    if (onStateChange_) onStateChange_(previous, next, why);
}

}  // namespace sim
