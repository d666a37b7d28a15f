// The FDL cutter on any received bytes, as the channel uses it: cut what
// stands at the front, drop it, and go on; a telegram left incomplete is
// expired as if its time on the line had run out. Every cut must take at
// least one byte and stay in range, or the channel would stall. A complete
// telegram must read so at every length it passed through on the way in:
// incomplete, with its length not yet known or known as it is, so that the
// channel gave it its own time on the line from the first byte that told.
#include "fdl/Framing.h"
#include "tests/fuzz/FuzzInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t at = 0;
    while (at < size) {
        const std::size_t left = size - at;
        fdl::TCut cut = fdl::Cut(data + at, left);
        if (cut.kind == fdl::TCutKind::Incomplete) cut = fdl::Expire(data + at, left);
        if (cut.length == 0 || cut.length > left) std::abort();
        if (cut.kind == fdl::TCutKind::Complete) {
            if (!fdl::Parse(FuzzBytes(data + at, cut.length)) && data[at] != fdl::SD2 && data[at] != fdl::SD3 &&
                data[at] != fdl::SD1)
                std::abort();  // only a SAP byte announced and missing makes a whole telegram unreadable
            for (std::size_t part = 1; part < cut.length; ++part) {
                const fdl::TCut before = fdl::Cut(data + at, part);
                if (before.kind != fdl::TCutKind::Incomplete || (before.length != 0 && before.length != cut.length))
                    std::abort();
            }
        }
        if (cut.kind == fdl::TCutKind::Corrupt) (void)fdl::FaultText(cut.fault);
        at += cut.length;
    }
    return 0;
}
