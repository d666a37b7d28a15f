// One client's command in flight on the shared command channel. The window
// (or a command-line run) publishes the end of every command it carried, a
// result or a give-up; each client takes only the end of its own command,
// matched by unit, Cmd and Index, and sends its next one after it (no Qt).
#pragma once

#include "base/ByteString.h"

#include <cstdint>
#include <optional>

class TCommandChannel;

// How a command on the channel ended.
struct TCommandResult {
    std::uint8_t unit = 0;
    std::uint8_t cmd = 0;
    std::uint8_t index = 0;
    bool givenUp = false;  // no result came: stat and value mean nothing
    std::uint8_t stat = 0;
    std::int32_t value = 0;
};

// The end of the channel's placed command: its result as the channel holds
// it, or its give-up.
TCommandResult ResultOf(const TCommandChannel& channel, bool givenUp);

class TCommandClient {
public:
    // The client handed `command` for `unit` to the channel.
    void Sent(std::uint8_t unit, const TByteString& command)
    {
        unit_ = unit;
        command_ = command;
    }
    bool InFlight() const { return command_.has_value(); }
    // The command in flight when `result` is its end (it is then no longer
    // in flight); nothing when the result belongs to another client.
    std::optional<TByteString> Ends(const TCommandResult& result);
    void Forget() { command_.reset(); }

private:
    std::uint8_t unit_ = 0;
    std::optional<TByteString> command_;
};
