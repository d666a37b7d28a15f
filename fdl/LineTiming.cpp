#include "LineTiming.h"

#include <algorithm>
#include <cstdint>

namespace fdl {

Duration BitTime(int bits, int baud) { return Duration((std::int64_t{bits} * 1000000 + baud - 1) / std::max(baud, 1)); }

Duration EarliestAnswer(std::size_t requestLength, std::size_t answerLength, int baud)
{
    return LineTime(requestLength, baud) + BitTime(MinTsdrBits, baud) + LineTime(answerLength, baud);
}

Duration SendDelay(Duration allowance) { return std::min(allowance, MaxSendDelay); }

}  // namespace fdl
