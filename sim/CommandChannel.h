// The station's side of the command channel in the cyclic data. Output
// bytes 0..7 carry Unit, 0, Cmd, Index and a big-endian Value; input bytes
// 0..7 carry Unit, 0, Stat, Index and a big-endian Value. A Cmd byte that
// turns non-zero (or a new command in place of a held one) is executed once
// for the module named by Unit; its result is held while Cmd stays
// non-zero, and Cmd back to 0 gives Stat 0x00.
#pragma once

#include "CommandResult.h"
#include "base/ByteString.h"

#include <array>
#include <cstdint>
#include <functional>

namespace sim {

struct TCommand {
    std::uint8_t unit = 0;
    std::uint8_t cmd = 0;
    std::uint8_t index = 0;
    std::int32_t value = 0;
    friend bool operator==(const TCommand&, const TCommand&) = default;
};

class TCommandChannel {
public:
    using Executor = std::function<TCommandResult(const TCommand& command, SimTime now)>;
    static constexpr std::size_t ChannelBytes = 8;

    explicit TCommandChannel(Executor execute) : execute_(std::move(execute)) {}

    // Takes the master's output bytes (at least 8) and gives input bytes 0..7.
    std::array<std::uint8_t, ChannelBytes> Exchange(const TByteString& outputs, SimTime now);
    std::uint32_t Executed() const { return executed_; }

private:
    Executor execute_;
    TCommand held_;  // cmd 0: nothing held
    TCommandResult result_;
    std::uint32_t executed_ = 0;
};

}  // namespace sim
