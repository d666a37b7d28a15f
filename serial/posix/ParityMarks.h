// The bytes a Linux serial driver delivers with PARMRK set (and ISTRIP and
// IGNPAR clear), decoded before they reach the input buffer:
//   FF 00 X   the character X, received with a parity or framing error
//             (FF 00 00 is a break);
//   FF FF     a data byte FF;
//   anything else is data as it came (FF Y, which a marking driver never
//             sends, is both bytes).
// A sequence may be cut between two reads: the bytes whose meaning the next
// read tells are held. Pure, so that the decoding is tested without a device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TParityMarks {
public:
    // How many bytes the next read may bring into `room` bytes of the input
    // buffer (room > 0): each byte read gives at most one byte more than it
    // takes only where one is held, so what fits is the room less the bytes
    // held, and at least one once the held bytes need the next to tell.
    std::size_t ReadRoom(std::size_t room) const;
    // Decodes `count` bytes read into `out` (room for what ReadRoom allowed)
    // and returns how many it gave; the position in `out` of each character
    // that came bad is appended to `bad`. A byte decoded that has no room
    // left waits for the next call.
    std::size_t Decode(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t room,
                       std::vector<std::uint32_t>& bad);
    void Reset() { state_ = TState::Plain; }

private:
    enum class TState : std::uint8_t { Plain, AfterFF, AfterFF00, Carry };
    TState state_ = TState::Plain;
    std::uint8_t carry_ = 0;  // Carry: a data byte decoded without room
};
