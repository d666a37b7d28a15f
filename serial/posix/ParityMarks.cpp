#include "ParityMarks.h"

std::size_t TParityMarks::ReadRoom(std::size_t room) const
{
    switch (state_) {
    case TState::Plain: return room;
    case TState::Carry: return room - 1;  // the carried byte first
    case TState::AfterFF: return room > 1 ? room - 1 : 1;
    case TState::AfterFF00: return room > 2 ? room - 2 : 1;  // the next byte is the bad one: one byte out
    }
    return room;
}

std::size_t TParityMarks::Decode(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t room,
                                 std::vector<std::uint32_t>& bad)
{
    std::size_t n = 0;
    if (state_ == TState::Carry && n < room) {
        out[n++] = carry_;
        state_ = TState::Plain;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = in[i];
        switch (state_) {
        case TState::Plain:
        case TState::Carry:  // not reached: ReadRoom left no room to read
            if (b == 0xFF)
                state_ = TState::AfterFF;
            else
                out[n++] = b;
            break;
        case TState::AfterFF:
            if (b == 0x00) {
                state_ = TState::AfterFF00;
                break;
            }
            out[n++] = 0xFF;  // FF FF is one FF
            state_ = TState::Plain;
            if (b == 0xFF) break;
            if (n < room) {
                out[n++] = b;
            } else {
                carry_ = b;
                state_ = TState::Carry;
            }
            break;
        case TState::AfterFF00:
            bad.push_back(static_cast<std::uint32_t>(n));
            out[n++] = b;
            state_ = TState::Plain;
            break;
        }
    }
    return n;
}
