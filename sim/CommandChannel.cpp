#include "CommandChannel.h"

namespace sim {

namespace {

std::int32_t BigEndian32(const std::uint8_t* b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
                                     static_cast<std::uint32_t>(b[2]) << 8 | b[3]);
}

}  // namespace

std::array<std::uint8_t, TCommandChannel::ChannelBytes> TCommandChannel::Exchange(const TByteString& outputs,
                                                                                  SimTime now)
{
    std::array<std::uint8_t, ChannelBytes> in{};
    if (outputs.size() < ChannelBytes) return in;
    const TCommand command{outputs[0], outputs[2], outputs[3], BigEndian32(outputs.data() + 4)};
    if (command.cmd == 0) {
        held_ = TCommand{};
        return in;
    }
    if (!(command == held_)) {
        held_ = command;
        result_ = execute_(command, now);
        ++executed_;
    }
    in[0] = held_.unit;
    in[3] = held_.index;
    if (now < result_.readyAt) {
        in[2] = StatBusy;
        return in;
    }
    in[2] = result_.stat;
    const auto v = static_cast<std::uint32_t>(result_.value);
    in[4] = static_cast<std::uint8_t>(v >> 24);
    in[5] = static_cast<std::uint8_t>(v >> 16);
    in[6] = static_cast<std::uint8_t>(v >> 8);
    in[7] = static_cast<std::uint8_t>(v);
    return in;
}

}  // namespace sim
