#include "Monitor.h"

#include "core/CyclicData.h"
#include "core/WeightFormat.h"

#include <cstdio>

TMonitor::TMonitor(T_DPV0& master, std::ostream& out) : master_(master), out_(out)
{
    master_.SetOnReceive([this](const TByteString& telegram) { Received(telegram); });
    master_.SetOnStatusText([this](const std::string& text) { StatusText(text); });
}

std::string TMonitor::ModuleLine(const TByteString& response, int k)
{
    const cyclic::TModuleValues v = cyclic::DecodeModuleBlock(response, k);
    return "WZM " + std::to_string(k) + " gross " + FormatWeight(v.Gross) + " net " + FormatWeight(v.Net) +
           " qualifier " + v.Qualifier + " limit " + v.LimitStatus + " status " + v.StatusBytes + " manufacturer " +
           v.ManufacturerBytes;
}

void TMonitor::Received(const TByteString& telegram)
{
    // The master acts on the code this leaves, so every telegram is classified.
    if (master_.ClassifyReply(telegram) != rcData) return;
    exchanging_ = master_.CurrentState().State == stDataExchange;
    if (exchanging_ && connectedAt_) {
        ++exchanges_;
        lastExchange_ = TClock::now();
    }
    if (exchanging_ && onData_) onData_(telegram);
    if (!printValues_) return;
    for (int k = 0; k < master_.ModuleCount() && cyclic::HasModuleBlock(telegram, k); ++k)
        out_ << ModuleLine(telegram, k) << '\n';
    out_.flush();
}

void TMonitor::StatusText(const std::string& text)
{
    exchanging_ = false;
    // "Connecting" is shown again every 200 ms while nobody answers; a line
    // per change is what a reader of the log wants.
    if (text == lastText_) return;
    lastText_ = text;
    if (text == "Connected") {
        connectedAt_ = TClock::now();
        exchanges_ = 0;
    }
    out_ << text << std::endl;
    if (onStatus_) onStatus_(text);
}

std::string TMonitor::TimingLine() const
{
    using std::chrono::duration;
    if (!connectedAt_) return "timing never connected";
    const auto connecting = std::chrono::duration_cast<std::chrono::milliseconds>(*connectedAt_ - start_);
    const double seconds = duration<double>(lastExchange_ - *connectedAt_).count();
    char rate[32] = "-";
    if (exchanges_ > 0 && seconds > 0) std::snprintf(rate, sizeof rate, "%.1f", exchanges_ / seconds);
    return "timing connected after " + std::to_string(connecting.count()) + " ms, " + rate + " exchanges/s";
}
