#include "CommandClient.h"

#include "CyclicData.h"
#include "dp/Profi_dp.h"

TCommandResult ResultOf(const TCommandChannel& channel, bool givenUp)
{
    return {channel.SentUnit,   channel.SentCmd,     channel.SentIndex,  givenUp,
            channel.ResultStat, channel.ResultValue, channel.ResultIndex};
}

std::optional<TByteString> TCommandClient::Ends(const TCommandResult& result)
{
    if (!command_ || result.unit != unit_ || result.cmd != (*command_)[0] ||
        result.index != TCommandChannel::IndexOf(*command_))
        return std::nullopt;
    std::optional<TByteString> ended;
    ended.swap(command_);
    return ended;
}

void TOwnChannelClient::Send(std::uint8_t unit, const TByteString& command)
{
    client_.Sent(unit, command);
    channel_.QueueCommand(unit, command);
    if (!channel_.Pending()) channel_.SendNextCommand(master_.OutputData);
}

std::optional<TCommandResult> TOwnChannelClient::Received(const TByteString& telegram)
{
    std::optional<TCommandResult> ended;
    if (const auto reply = cyclic::ReadChannel(telegram)) {
        const TCommandChannel::TReplyOutcome outcome = channel_.TakeReply(*reply, master_.OutputData);
        if (outcome.resultForPending && client_.Ends(ResultOf(channel_, false))) ended = ResultOf(channel_, false);
    }
    if (!channel_.Pending()) channel_.SendNextCommand(master_.OutputData);
    return ended;
}

std::optional<TCommandResult> TOwnChannelClient::Tick()
{
    const std::uint8_t state = master_.CurrentState().State;
    const auto now = TResultWait::TClock::now();
    // A command still pending when data exchange comes back lost its result.
    const bool lost = channel_.NoteMasterState(state);
    wait_.Note(state == stDataExchange, channel_.Pending(), now);
    if (!client_.InFlight() || !channel_.Pending() || !(lost || wait_.Due(now))) return std::nullopt;
    wait_.Stop();
    channel_.GiveUp(master_.OutputData);
    const TCommandResult givenUp = ResultOf(channel_, true);
    client_.Forget();
    return givenUp;
}
