#include "BusListener.h"

#include "Telegram.h"

namespace buslisten {

namespace {

constexpr std::uint8_t Broadcast = 127;
constexpr std::uint8_t FcbBit = 0x20;
constexpr std::uint8_t FcvBit = 0x10;
constexpr std::uint8_t FunctionMask = 0x0F;
constexpr std::uint8_t SdnLow = 0x04;  // send data with no acknowledgement
constexpr std::uint8_t SdnHigh = 0x06;
constexpr std::size_t ChannelLength = 8;  // the command channel of outputs and inputs
constexpr std::size_t ModuleLength = 16;  // one module's block of the inputs
constexpr int MaxModules = 8;
constexpr std::uint8_t SapSetPrm = telegram::sapSetPrm >> 8;
constexpr std::uint8_t SapChkCfg = telegram::sapChkCfg >> 8;
constexpr std::uint8_t SapSlaveDiag = telegram::sapSlaveDiag >> 8;

bool ExpectsAnswer(const fdl::TFrame& frame)
{
    const std::uint8_t function = frame.fc & FunctionMask;
    return frame.da != Broadcast && function != SdnLow && function != SdnHigh;
}

// Weighing modules that Data_Exchange lengths describe: outputs 8 + n, inputs 8 + 16 n.
std::optional<int> ModulesOfLengths(std::size_t outputs, std::size_t inputs)
{
    if (outputs <= ChannelLength || outputs > ChannelLength + MaxModules) return std::nullopt;
    const std::size_t n = outputs - ChannelLength;
    if (inputs != ChannelLength + ModuleLength * n) return std::nullopt;
    return static_cast<int>(n);
}

}  // namespace

const char* RoleText(TRole role)
{
    switch (role) {
    case TRole::Master: return "master";
    case TRole::Slave: return "slave";
    case TRole::Unknown: break;
    }
    return "unknown";
}

void TBusListener::Feed(const TByteString& bytes, Clock::time_point at)
{
    tail_.insert(tail_.end(), bytes.begin(), bytes.end());
    std::size_t used = 0;
    while (used < tail_.size()) {
        const fdl::TCut cut = fdl::Cut(tail_.data() + used, tail_.size() - used);
        if (cut.kind == fdl::TCutKind::Incomplete) break;
        Piece(cut.kind, cut.fault, TByteString(tail_.data() + used, cut.length), at);
        used += cut.length;
    }
    tail_.erase(tail_.begin(), tail_.begin() + static_cast<std::ptrdiff_t>(used));
}

void TBusListener::Piece(fdl::TCutKind kind, fdl::TFault fault, const TByteString& bytes, Clock::time_point at)
{
    if (kind == fdl::TCutKind::Complete) Telegram(bytes, at);
    if (kind == fdl::TCutKind::Corrupt) Bad(fault);
    if (kind == fdl::TCutKind::Noise) Noise(bytes.size());
}

void TBusListener::Telegram(const TByteString& bytes, Clock::time_point at)
{
    const std::optional<fdl::TFrame> frame = fdl::Parse(bytes);
    if (!frame) return;  // a frame whose SAP bytes are missing is nobody's telegram
    ++totals_.telegrams;
    if (frame->IsToken())
        Token(*frame, at);
    else if (frame->start != fdl::SC && frame->IsRequest())
        Request(*frame, at);
    else
        Answer(*frame, bytes, at);
}

void TBusListener::Bad(fdl::TFault fault)
{
    const auto reason = static_cast<std::size_t>(fault);
    if (reason >= totals_.bad.size()) return;
    ++totals_.bad[reason];
    if (standing_) ++stations_[standing_->slave].bad[reason];
}

TStation& TBusListener::Heard(std::uint8_t address, TRole role, Clock::time_point at)
{
    TStation& station = stations_[address];
    // A master may answer too (its FDL status): once seen sending, it stays one.
    if (station.role != TRole::Master) station.role = role;
    station.lastHeard = at;
    return station;
}

void TBusListener::CloseStanding()
{
    if (standing_) ++stations_[standing_->slave].unanswered;
    standing_.reset();
}

void TBusListener::Token(const fdl::TFrame& frame, Clock::time_point at)
{
    CloseStanding();
    TStation& master = Heard(frame.sa, TRole::Master, at);
    ++master.tokens;
    if (master.lastToken != Clock::time_point{}) master.rotation = at - master.lastToken;
    master.lastToken = at;
    stations_[frame.da].role = TRole::Master;  // only masters take the token
}

void TBusListener::Request(const fdl::TFrame& frame, Clock::time_point at)
{
    CloseStanding();
    ++Heard(frame.sa, TRole::Master, at).requests;
    TStation& slave = stations_[frame.da];
    ++slave.requests;
    bool repeat = false;
    if (frame.fc & FcvBit) {
        const std::uint8_t fcb = frame.fc & FcbBit;
        repeat = slave.lastFcb == fcb && slave.lastFcbFrom == frame.sa;
        slave.lastFcb = fcb;
        slave.lastFcbFrom = frame.sa;
    }
    if (repeat) ++slave.repeats;

    const bool dataExchange = frame.HasDataUnit() && !frame.dsap;
    if (dataExchange && !repeat) {
        if (slave.lastCycle != Clock::time_point{}) slave.cycle = at - slave.lastCycle;
        slave.lastCycle = at;
    }
    if (dataExchange) slave.outputs = frame.data;
    if (frame.dsap == SapSetPrm) slave.setPrm = frame.data;
    if (frame.dsap == SapChkCfg) {
        slave.chkCfg = frame.data;
        slave.modules = diag::WzmModuleCount(frame.data);
    }
    if (ExpectsAnswer(frame)) standing_ = TStanding{frame.sa, frame.da, dataExchange, frame.data.size()};
}

void TBusListener::Answer(const fdl::TFrame& frame, const TByteString& bytes, Clock::time_point at)
{
    // A short acknowledgement carries no addresses: it answers what stands.
    const bool paired =
        standing_ && (frame.start == fdl::SC || (frame.sa == standing_->slave && frame.da == standing_->master));
    if (!paired) {
        ++totals_.unpaired;
        if (frame.start != fdl::SC) ++Heard(frame.sa, TRole::Slave, at).answers;
        return;
    }
    const TStanding request = *standing_;
    standing_.reset();
    TStation& slave = Heard(request.slave, TRole::Slave, at);
    ++slave.answers;
    if (frame.ssap == SapSlaveDiag) slave.diagnosis = diag::Decode(frame.sa, frame.data);
    if (!request.dataExchange || !frame.HasDataUnit() || frame.ssap) return;
    ++slave.exchanges;
    slave.outputLength = request.outputLength;
    slave.inputLength = frame.data.size();
    slave.inputs = bytes;
    // A configuration heard decides; without one the lengths tell.
    if (slave.chkCfg.empty()) slave.modules = ModulesOfLengths(slave.outputLength, slave.inputLength);
}

}  // namespace buslisten
