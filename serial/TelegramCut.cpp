#include "TelegramCut.h"

namespace telegram {

std::uint8_t Sum8(const std::uint8_t* bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum);
}

bool SumMatches(const std::uint8_t* bytes, std::size_t count) { return Sum8(bytes, count) == bytes[count]; }

TCut CutTelegram(const std::uint8_t* b, std::size_t count, std::size_t added)
{
    if (count == 0) return {};
    // An SC or an SD1 telegram counts only when it is all the poll brought.
    if (added == 1 && b[0] == SC) return {TCut::Recognised, 1};
    if (added == SD1Length && b[0] == SD1) return {TCut::Recognised, SD1Length};
    if (count < 6) return {};
    if (b[0] != SD2 || b[3] != SD2) return {TCut::Discard, 0};
    if (b[1] != b[2]) return {};
    const std::size_t le = b[1];
    if (count < le + 6) return {};
    if (!SumMatches(b + 4, le)) return {};
    // The end delimiter is taken without being compared with 0x16.
    return {TCut::Recognised, le + 6};
}

}  // namespace telegram
