// One client's command in flight on the shared command channel. The window
// (or a command-line run) publishes the end of every command it carried, a
// result or a give-up; each client takes only the end of its own command,
// matched by unit, Cmd and Index, and sends its next one after it (no Qt).
#pragma once

#include "core/CommandChannel.h"
#include "core/ResultWait.h"
#include "base/ByteString.h"

#include <cstdint>
#include <optional>

class T_DPV0;

// How a command on the channel ended.
struct TCommandResult {
    std::uint8_t unit = 0;
    std::uint8_t cmd = 0;
    std::uint8_t index = 0;
    bool givenUp = false;  // no result came: stat and value mean nothing
    std::uint8_t stat = 0;
    std::int32_t value = 0;
    std::uint8_t answeredIndex = 0;  // the Index byte the module answered with
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
    const std::optional<TByteString>& Command() const { return command_; }
    // The command in flight when `result` is its end (it is then no longer
    // in flight); nothing when the result belongs to another client.
    std::optional<TByteString> Ends(const TCommandResult& result);
    void Forget() { command_.reset(); }

private:
    std::uint8_t unit_ = 0;
    std::optional<TByteString> command_;
};

// A run that has the command channel to itself (quorvel-cli's backup,
// restore and calibration check): it owns the channel and its watch for a
// result that is not coming, and carries one command at a time.
class TOwnChannelClient {
public:
    explicit TOwnChannelClient(T_DPV0& master) : master_(master) {}

    bool InFlight() const { return client_.InFlight(); }
    // Queues `command` for `unit` and places it when the channel is free.
    void Send(std::uint8_t unit, const TByteString& command);
    // A Data_Exchange response: takes the channel's reply and places what
    // waits; the end of the command in flight when the reply is its result.
    std::optional<TCommandResult> Received(const TByteString& telegram);
    // Every clock tick: the give-up of the command in flight when its result
    // is due (TResultWait) or was lost with a restart of data exchange.
    std::optional<TCommandResult> Tick();

private:
    T_DPV0& master_;
    TCommandChannel channel_;
    TResultWait wait_;
    TCommandClient client_;
};
