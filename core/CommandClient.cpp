#include "CommandClient.h"

#include "CommandChannel.h"

TCommandResult ResultOf(const TCommandChannel& channel, bool givenUp)
{
    return {channel.SentUnit, channel.SentCmd, channel.SentIndex, givenUp, channel.ResultStat, channel.ResultValue};
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
