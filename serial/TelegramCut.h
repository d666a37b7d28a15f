// Receive-side delimiting of the DP link: how the serial channel cuts one
// telegram off the front of its receive buffer after a poll. The rules
// look at the buffer as a whole and at how many bytes the last poll added,
// because an SC (E5) and an SD1 telegram are recognised only when they
// arrived alone in their poll.
#pragma once

#include <cstddef>
#include <cstdint>

namespace telegram {

constexpr std::uint8_t SD1 = 0x10;  // fixed length, no data unit
constexpr std::uint8_t SD2 = 0x68;  // variable length with data unit
constexpr std::uint8_t SC = 0xE5;   // short acknowledgement
constexpr std::uint8_t ED = 0x16;   // end delimiter
constexpr std::size_t SD1Length = 6;

// Sum modulo 256 of `count` bytes (the frame check sequence).
std::uint8_t Sum8(const std::uint8_t* bytes, std::size_t count);

// True when the sum of `count` bytes equals the byte that follows them.
bool SumMatches(const std::uint8_t* bytes, std::size_t count);

// True when six bytes are an SD1 telegram: 10, check sum of the three
// bytes after it, end delimiter 16.
bool IsSd1(const std::uint8_t* bytes);

struct TCut {
    enum Kind { Wait, Discard, Recognised };
    Kind kind = Wait;
    std::size_t length = 0;  // bytes of the recognised telegram
    std::size_t skip = 0;    // bytes dropped from the front before `kind` applies
};

// Applies the delimiting rules to `count` buffered bytes, of which the last
// poll added `added`. A head that cannot be a telegram (six bytes or more
// not starting 68 .. .. 68, unequal length bytes, a wrong check sum) is
// dropped together with the bytes up to the next one that can start a
// telegram (68, or an E5 or 10 that begins this poll's bytes), and the rules
// apply again from there; `skip` counts the dropped bytes. Then Wait: keep
// the rest (incomplete). Discard: nothing is left of the buffer.
// Recognised: a telegram of `length` bytes stands at `skip`.
TCut CutTelegram(const std::uint8_t* buffer, std::size_t count, std::size_t added);

}  // namespace telegram
