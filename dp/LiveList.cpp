#include "LiveList.h"

#include "Telegram.h"

#include <algorithm>
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
    if (!s.unanswered.empty() && !s.diagnosis) return head + " slave, no answer to " + s.unanswered;
    if (s.kind == TStationFound::Passive || !s.diagnosis) return head + " passive";
    char ident[8];
    std::snprintf(ident, sizeof ident, "%04X", s.diagnosis->ident);
    std::string line = head + " slave ident " + ident;
    if (!s.unanswered.empty()) return line + " no answer to " + s.unanswered;
    if (!s.config) return line + " config -";
    return line + " config " + diag::Hex(*s.config) + " modules " + diag::ModuleCountText(*s.config);
}

std::string OtherMasterWarning(int address)
{
    return "Station " + std::to_string(address) +
           " is a master. Quorvel is a master without token passing: started on this bus it would disturb that "
           "master's bus. Start the link only where Quorvel is the one master.";
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
    channel.SetTelegramTaker([this](const TByteString& telegram) { Take(telegram); });
    master_.Trace(TTraceKind::Comment, {}, "live list");
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
    channel.SetTelegramTaker({});
    channel.AnswerIn();
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

void TLiveListScan::Ask(TAsk what, bool again)
{
    TByteString request;
    std::size_t answerLength = fdl::SD1Length;
    if (what == TAsk::Status) {
        request = telegram::FdlStatusTelegram(address_);
    } else {
        const std::uint16_t sap = what == TAsk::Diag ? telegram::sapSlaveDiag : telegram::sapGetCfg;
        telegram::CompleteFrame(telegram::SapRequestFrame(address_, sap, {}), request);
        // The longest configuration a slave may give: up to a whole telegram.
        answerLength = what == TAsk::Diag ? telegram::AnswerLength(request, 1) : TByteString::MaxLength;
    }
    asked_ = what;
    asks_ = again ? asks_ + 1 : 1;
    overdue_.reset();
    TCommUnit& channel = master_.CommUnit();
    bool written = false;
    std::string failure;
    try {
        written = channel.Write(request);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (!written) {
        Finish("The port vanished during the scan" + (failure.empty() ? "" : ": " + failure));
        return;
    }
    channel.AwaitAnswer(request.size(), answerLength);
    waiting_ = true;
    master_.Trace(TTraceKind::Sent, request);
}

void TLiveListScan::Poll()
{
    if (!running_) return;
    TCommUnit& channel = master_.CommUnit();
    TVeltComPort& port = channel.Port();
    try {
        if (!port.Open() || port.DeviceGone()) {
            Finish("The port vanished during the scan");
            return;
        }
        channel.PollInput();  // answers come to Take
    } catch (const std::exception& e) {
        Finish(std::string("The port vanished during the scan: ") + e.what());
        return;
    }
    if (running_ && waiting_ && !channel.LineBusy() && LineQuiet()) Unanswered();
}

// Bytes in the channel's buffer or read within the last adapter allowance
// (and three characters' time) may be a late answer still arriving: the
// retry waits for them, and the answer, if it is one, still counts. A
// station known to be there is given one allowance more before it is asked
// again: an adapter delays both ways, the allowance counts once, and a
// retry sent into its late answer garbles it (so the first scan in a window
// once listed a slave as passive: its diagnosis came late, and the retry
// went into it).
bool TLiveListScan::LineQuiet()
{
    TCommUnit& channel = master_.CommUnit();
    const auto now = Clock::now();
    if (!overdue_) overdue_ = now;
    if (now - *overdue_ >= QuietLimit) return true;  // noise that never ends does not hold the scan
    const auto allowance = std::chrono::milliseconds(channel.AdapterAllowance());
    if (asked_ != TAsk::Status && now - *overdue_ < allowance) return false;
    const auto quiet = allowance + fdl::LineTime(3, static_cast<int>(channel.Port().Baud()));
    return channel.RxCount() == 0 && now - channel.Port().LastInputArrival() >= quiet;
}

void TLiveListScan::Take(const TByteString& telegram)
{
    if (!running_) return;
    const auto frame = fdl::Parse(telegram);
    if (frame && frame->IsToken()) {
        HeardMaster(frame->sa);  // another master passes the token on this bus
        return;
    }
    if (!waiting_ || !frame || !IsAwaited(*frame)) return;
    waiting_ = false;
    master_.CommUnit().AnswerIn();
    Answered(*frame);
}

bool TLiveListScan::IsAwaited(const fdl::TFrame& f) const
{
    // A request of another master on the line is no answer.
    if (f.IsRequest() || f.sa != address_ || f.da != 0) return false;
    if (asked_ == TAsk::Status) return f.start == fdl::SD1;
    // A refusal (RS, RR, UE) of the service; an FDL status answer is none.
    if (f.start == fdl::SD1) return (f.fc & 0x0F) != 0;
    const std::uint8_t ssap = asked_ == TAsk::Diag ? sapDiag : sapGetCfg;
    return f.HasDataUnit() && f.dsap == sapOfReplies && f.ssap == ssap;
}

void TLiveListScan::Answered(const fdl::TFrame& answer)
{
    switch (asked_) {
    case TAsk::Status:
        if (fdl::StationTypeOf(answer.fc) == fdl::TStationType::Slave) {
            Ask(TAsk::Diag);
            return;
        }
        current_.kind = TStationFound::Master;
        Record();
        return;
    case TAsk::Diag:
        if (answer.start == fdl::SD1) break;  // no DP diagnosis: passive
        current_.diagnosis = diag::Decode(static_cast<std::uint8_t>(address_), answer.data);
        if (current_.diagnosis) {
            current_.kind = TStationFound::Slave;
            Ask(TAsk::Config);
            return;
        }
        break;
    case TAsk::Config:
        if (answer.start != fdl::SD1) current_.config = answer.data;
        break;
    }
    Record();
}

void TLiveListScan::Unanswered()
{
    waiting_ = false;
    if (asks_ < (asked_ == TAsk::Status ? AsksPerRequest : AsksOfAStation)) {
        Ask(asked_, true);  // again: an answer may have been lost
    } else if (asked_ == TAsk::Status) {
        NextAddress();  // nobody there
    } else {
        // A station that answered FDL_Status but not this: said as it is.
        current_.unanswered = asked_ == TAsk::Diag ? "Slave_Diag" : "Get_Cfg";
        Record();
    }
}

bool TLiveListScan::Listed(int address) const
{
    return std::any_of(stations_.begin(), stations_.end(),
                       [&](const TStationFound& s) { return s.address == address; });
}

void TLiveListScan::HeardMaster(int address)
{
    if (Listed(address)) return;
    TStationFound master;
    master.address = address;
    master.kind = TStationFound::Master;
    stations_.push_back(master);
    if (onFound_) onFound_(master);
}

void TLiveListScan::Record()
{
    if (!Listed(current_.address)) {  // a master may have been heard passing the token before
        stations_.push_back(current_);
        if (onFound_) onFound_(current_);
    }
    if (running_) NextAddress();  // unless the handler cancelled
}
