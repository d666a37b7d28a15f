#include "LiveList.h"

#include "Telegram.h"
#include "serial/TelegramCut.h"

#include <cstdio>
#include <exception>

namespace {

constexpr std::uint8_t sapOfReplies = 0x3E;  // the master's SSAP, the replies' DSAP
constexpr std::uint8_t sapDiag = 0x3C;
constexpr std::uint8_t sapGetCfg = 0x3B;

}  // namespace

std::string StationLine(const TStationFound& s)
{
    const std::string head = "station " + std::to_string(s.address);
    if (s.kind == TStationFound::Master) return head + " master";
    if (s.kind == TStationFound::Passive || !s.diagnosis) return head + " passive";
    char ident[8];
    std::snprintf(ident, sizeof ident, "%04X", s.diagnosis->ident);
    std::string line = head + " slave ident " + ident;
    if (!s.config) return line + " config -";
    return line + " config " + diag::Hex(*s.config) + " modules " + diag::ModuleCountText(*s.config);
}

TLiveListScan::TLiveListScan(T_DPV0& master) : master_(master) {}

TLiveListScan::~TLiveListScan() { Cancel(); }

bool TLiveListScan::Start(std::string& error)
{
    TCommUnit& channel = master_.CommUnit();
    const char* refusal = nullptr;
    if (running_)
        refusal = "A scan is already running";
    else if (master_.CurrentState().State != stIdle)
        refusal = "Stop the link before looking for stations";
    else if (!channel.Port().Open() || channel.DeviceLost())
        refusal = "No port is open";
    if (refusal) {
        error = refusal;
        return false;
    }
    stations_.clear();
    running_ = true;
    channelInterval_ = channel.PollTimer().Interval();
    channel.PollTimer().SetInterval(ScanPollInterval);
    channel.PollTimer().SetOnTimer([this] { Poll(); });
    address_ = FirstAddress - 1;
    NextAddress();
    return true;
}

void TLiveListScan::Cancel()
{
    if (!running_) return;
    running_ = false;
    HandBack();
}

void TLiveListScan::HandBack()
{
    TCommUnit& channel = master_.CommUnit();
    channel.PollTimer().SetInterval(channelInterval_);
    channel.PollTimer().SetOnTimer([&channel] { channel.PollTick(); });
    channel.ClearBuffer();
}

void TLiveListScan::Finish(const std::string& error)
{
    running_ = false;
    HandBack();
    if (onDone_) onDone_(error);  // last: the handler may end this object's life
}

void TLiveListScan::NextAddress()
{
    if (++address_ > LastAddress) {
        Finish({});
        return;
    }
    if (onProgress_) onProgress_(address_, LastAddress);
    if (!running_) return;  // the handler cancelled
    current_ = TStationFound{};
    current_.address = address_;
    Ask(TAsk::Status);
}

void TLiveListScan::Ask(TAsk what)
{
    TByteString request;
    if (what == TAsk::Status) {
        request = telegram::FdlStatusTelegram(address_);
    } else {
        const std::uint16_t sap = what == TAsk::Diag ? telegram::sapSlaveDiag : telegram::sapGetCfg;
        telegram::CompleteFrame(telegram::SapRequestFrame(address_, sap, {}), request);
    }
    asked_ = what;
    askedAt_ = Clock::now();
    rx_.clear();  // whatever came before belongs to no request of ours
    bool written = false;
    std::string failure;
    try {
        written = master_.CommUnit().Write(request);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (!written) Finish("The port vanished during the scan" + (failure.empty() ? "" : ": " + failure));
}

void TLiveListScan::Poll()
{
    if (!running_) return;
    TVeltComPort& port = master_.CommUnit().Port();
    try {
        if (!port.Open() || port.DeviceGone()) {
            Finish("The port vanished during the scan");
            return;
        }
        ReadInput();
    } catch (const std::exception& e) {
        Finish(std::string("The port vanished during the scan: ") + e.what());
        return;
    }
    telegram::TReplyFrame answer;
    if (TakeAnswer(answer)) {
        Answered(answer);
        return;
    }
    const auto waited = Clock::now() - askedAt_;
    if ((rx_.empty() && waited >= ReplyWindow) || waited >= LongestAnswer) Unanswered();
}

void TLiveListScan::ReadInput()
{
    TVeltComPort& port = master_.CommUnit().Port();
    while (port.InputAvailable()) rx_.push_back(port.ReadByte());
}

bool TLiveListScan::TakeAnswer(telegram::TReplyFrame& answer)
{
    while (!rx_.empty()) {
        const telegram::TReplyCut cut = telegram::CutReply(rx_.data(), rx_.size());
        if (cut.kind == telegram::TReplyCut::NeedMore) return false;
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(cut.length));
        if (cut.kind == telegram::TReplyCut::Frame && IsAwaited(cut.frame)) {
            answer = cut.frame;
            return true;
        }
    }
    return false;
}

bool TLiveListScan::IsAwaited(const telegram::TReplyFrame& f) const
{
    if (f.sa != address_ || f.da != 0) return false;
    if (asked_ == TAsk::Status) return f.start == telegram::SD1;
    const std::uint8_t ssap = asked_ == TAsk::Diag ? sapDiag : sapGetCfg;
    return f.start == telegram::SD2 && f.dsap == sapOfReplies && f.ssap == ssap;
}

void TLiveListScan::Answered(const telegram::TReplyFrame& answer)
{
    switch (asked_) {
    case TAsk::Status:
        if (telegram::StationTypeOf(answer.fc) == telegram::TStationType::Slave) {
            Ask(TAsk::Diag);
            return;
        }
        current_.kind = TStationFound::Master;
        Record();
        return;
    case TAsk::Diag:
        current_.diagnosis = diag::Decode(static_cast<std::uint8_t>(address_), answer.data);
        if (current_.diagnosis) {
            current_.kind = TStationFound::Slave;
            Ask(TAsk::Config);
            return;
        }
        break;
    case TAsk::Config: current_.config = answer.data; break;
    }
    Record();
}

void TLiveListScan::Unanswered()
{
    if (asked_ == TAsk::Status)
        NextAddress();  // nobody there
    else
        Record();  // a station without diagnosis or configuration
}

void TLiveListScan::Record()
{
    stations_.push_back(current_);
    if (onFound_) onFound_(current_);
    if (running_) NextAddress();  // unless the handler cancelled
}
