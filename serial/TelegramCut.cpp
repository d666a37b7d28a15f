#include "TelegramCut.h"

#include <algorithm>

namespace telegram {

namespace {

// The first position from `from` on where a telegram can start: an SD2, or
// an SC or SD1 that begins exactly the bytes of this poll (only then can it
// be recognised). `count` when there is none.
std::size_t NextStart(const std::uint8_t* b, std::size_t count, std::size_t from, std::size_t added)
{
    for (std::size_t p = from; p < count; ++p) {
        if (b[p] == SD2) return p;
        if ((b[p] == SC || b[p] == SD1) && count - p == added) return p;
    }
    return count;
}

}  // namespace

std::uint8_t Sum8(const std::uint8_t* bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum);
}

bool SumMatches(const std::uint8_t* bytes, std::size_t count) { return Sum8(bytes, count) == bytes[count]; }

bool IsSd1(const std::uint8_t* b) { return b[0] == SD1 && SumMatches(b + 1, 3) && b[5] == ED; }

TCut CutTelegram(const std::uint8_t* buffer, std::size_t count, std::size_t added)
{
    if (count == 0) return {};
    std::size_t skip = 0;
    while (skip < count) {
        const std::uint8_t* b = buffer + skip;
        const std::size_t n = count - skip;
        const std::size_t a = std::min(added, n);
        // An SC or an SD1 telegram counts only when it is all the poll brought.
        if (a == 1 && b[0] == SC) return {TCut::Recognised, 1, skip};
        if (a == SD1Length && IsSd1(b)) return {TCut::Recognised, SD1Length, skip};
        if (n < 6) return {TCut::Wait, 0, skip};
        // A head that is no telegram is dropped and the scan goes on, so that
        // a good telegram behind it (the next answer) survives.
        if (b[0] == SD2 && b[3] == SD2 && b[1] == b[2]) {
            const std::size_t le = b[1];
            if (n < le + 6) return {TCut::Wait, 0, skip};
            // The end delimiter is taken without being compared with 0x16.
            if (SumMatches(b + 4, le)) return {TCut::Recognised, le + 6, skip};
        }
        skip = NextStart(buffer, count, skip + 1, added);
    }
    return {TCut::Discard, 0, 0};
}

}  // namespace telegram
