// The receive-side delimiting rules on their own: rows of buffered bytes, of
// which the last poll added `added`, in; what stands at the front out.
#include "tests/support/Hex.h"
#include "serial/TelegramCut.h"

#include <gtest/gtest.h>

namespace {

using telegram::TCut;

struct Row {
    const char* what;
    const char* buffer;
    std::size_t added;
    TCut::Kind kind;
    std::size_t length;
    std::size_t skip = 0;  // bytes dropped in front of it
};

const Row rows[] = {
    {"empty buffer", "", 0, TCut::Wait, 0},
    {"short acknowledgement alone in its poll", "E5", 1, TCut::Recognised, 1},
    {"two acknowledgements in one poll: more are awaited", "E5 E5", 2, TCut::Wait, 0},
    {"acknowledgement after older bytes", "68 03 E5", 1, TCut::Wait, 0},
    {"fixed length telegram in one poll", "10 83 80 49 4C 16", 6, TCut::Recognised, 6},
    {"fixed length telegram over two polls: not 68 .. .. 68, dropped", "10 83 80 49 4C 16", 3, TCut::Discard, 0},
    {"variable telegram with its last byte", "68 05 05 68 80 83 08 3E 3C 85 16", 1, TCut::Recognised, 11},
    {"variable telegram without its last byte", "68 05 05 68 80 83 08 3E 3C 85", 2, TCut::Wait, 0},
    {"first of two telegrams", "68 03 03 68 00 03 08 0B 16 68 03 03", 12, TCut::Recognised, 9},
    {"end delimiter not checked", "68 03 03 68 00 03 08 0B 99", 9, TCut::Recognised, 9},
    {"head not 68: dropped", "67 03 03 68 00 03 08 0B 16", 9, TCut::Discard, 0},
    {"junk in front of an answer: dropped", "5A 07 31 16 68 03 03 68 00 03 08 0B 16", 13, TCut::Recognised, 9, 4},
    {"length bytes differ: dropped, the acknowledgement of the poll counts", "68 03 04 68 00 03 08 0B 16 E5", 1,
     TCut::Recognised, 1, 9},
    {"length bytes differ: dropped, the answer behind it counts",
     "68 03 04 68 00 03 08 0B 16 68 03 03 68 00 03 08 0B 16", 9, TCut::Recognised, 9, 9},
    {"wrong check sum: dropped, the answer behind it counts", "68 03 03 68 00 03 08 0C 16 68 03 03 68 00 03 08 0B 16",
     9, TCut::Recognised, 9, 9},
    {"SD1 with wrong check sum: dropped", "10 83 80 49 4D 16", 6, TCut::Discard, 0},
    {"SD1 with wrong end delimiter: dropped", "10 83 80 49 4C 17", 6, TCut::Discard, 0},
};

TEST(TelegramCut, CutsWhatStandsAtTheFrontOfTheBuffer)
{
    for (const Row& row : rows) {
        const TByteString bytes = BytesFromHex(row.buffer);
        const TCut cut = telegram::CutTelegram(bytes.data(), bytes.size(), row.added);
        EXPECT_EQ(cut.kind, row.kind) << row.what;
        EXPECT_EQ(cut.length, row.length) << row.what;
        EXPECT_EQ(cut.skip, row.skip) << row.what;
    }
}

}  // namespace
