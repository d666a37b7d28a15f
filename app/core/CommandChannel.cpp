#include "CommandChannel.h"

#include "HexText.h"

#include <algorithm>

namespace {

constexpr std::uint8_t StateDataExchange = 5;

std::uint8_t OutByte(const TByteString& out, std::size_t i) { return i < out.size() ? out[i] : 0; }

void SetOutByte(TByteString& out, std::size_t i, std::uint8_t value)
{
    if (i < out.size()) out[i] = value;
}

// A queue entry: the unit address byte, then the command bytes.
TByteString Entry(std::uint8_t unit, const TByteString& command)
{
    TByteString entry{unit};
    entry += command;
    return entry;
}

}  // namespace

bool TCommandChannel::QueueCommand(std::uint8_t unit, const TByteString& command)
{
    queue_.push_back(Entry(unit, command));
    return queue_.size() == 1 && !pending_ && !awaitingFree_;
}

void TCommandChannel::QueueFirst(std::uint8_t unit, const TByteString& command)
{
    queue_.push_front(Entry(unit, command));
}

void TCommandChannel::DropFirst()
{
    if (!queue_.empty()) queue_.pop_front();
}

bool TCommandChannel::Drop(std::uint8_t unit, const TByteString& command)
{
    const auto it = std::find(queue_.begin(), queue_.end(), Entry(unit, command));
    if (it == queue_.end()) return false;
    queue_.erase(it);
    return true;
}

void TCommandChannel::Clear() { queue_.clear(); }

bool TCommandChannel::Free(const TByteString& out) const { return OutByte(out, cyclic::OutCmd) == 0 && !pending_; }

std::optional<TCommandChannel::TPlacement> TCommandChannel::SendNextCommand(TByteString& out)
{
    using namespace cyclic;
    if (OutByte(out, OutCmd) != 0 || queue_.empty() || pending_ || awaitingFree_) return std::nullopt;

    const TByteString entry = queue_.front();
    const TByteString c = entry.Mid(1);
    // The command goes to the unit it was queued for, whatever is selected now.
    SentUnit = entry.empty() ? 0 : entry[0];
    SetOutByte(out, OutUnit, SentUnit);
    const std::size_t m = c.size();
    SentCmd = m > 0 ? c[0] : 0;
    SentIndex = IndexOf(c);
    SetOutByte(out, OutIndex, SentIndex);
    if (m > 4) {
        // The last four command bytes are the value, least significant first;
        // on the wire it goes big-endian.
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            SetOutByte(out, OutValue + i, c[m - 1 - i]);
            v = (v << 8) | c[m - 1 - i];
        }
        SentValue = static_cast<std::int32_t>(v);
    } else {
        // A short command carries its Index also as its Value.
        for (std::size_t i = 0; i < 3; ++i) SetOutByte(out, OutValue + i, 0);
        SetOutByte(out, OutValue + 3, SentIndex);
        SentValue = SentIndex;
    }
    // Cmd last: it is what makes the module act.
    SetOutByte(out, OutCmd, SentCmd);

    TPlacement placed;
    placed.unit = SentUnit;
    placed.line = "Cmd(" + hextext::Byte(placed.unit) + ":";
    for (std::size_t i = 0; i < 9; ++i) placed.line += " " + hextext::Byte(OutByte(out, i));
    placed.line += " )";

    pending_ = true;
    pendingAcrossLeave_ = false;
    queue_.pop_front();
    return placed;
}

TCommandChannel::TReplyOutcome TCommandChannel::TakeReply(const cyclic::TChannelReply& reply, TByteString& out)
{
    TReplyOutcome outcome;
    ResultStat = reply.Stat;
    ResultIndex = reply.Index;
    if (reply.HasResult()) {
        ResultValue = reply.Value;
        outcome.resultPresent = true;
        outcome.resultForPending = pending_;
        pending_ = false;
        pendingAcrossLeave_ = false;
        awaitingFree_ = true;
        SetOutByte(out, cyclic::OutCmd, 0);
    } else {
        outcome.channelFree = Free(out);
        if (outcome.channelFree) awaitingFree_ = false;
    }
    return outcome;
}

bool TCommandChannel::GiveUp(TByteString& out)
{
    if (!pending_) return false;
    pending_ = false;
    pendingAcrossLeave_ = false;
    awaitingFree_ = true;
    SetOutByte(out, cyclic::OutCmd, 0);
    return true;
}

bool TCommandChannel::NoteMasterState(std::uint8_t state)
{
    const bool left = lastState_ == StateDataExchange && state != StateDataExchange;
    const bool entered = lastState_ != StateDataExchange && state == StateDataExchange;
    lastState_ = state;
    if (left && pending_) pendingAcrossLeave_ = true;
    return entered && pending_ && pendingAcrossLeave_;
}
