// The FDL cutter on any received bytes, as the channel uses it: cut what
// stands at the front, drop it, and go on; a telegram left incomplete is
// expired as if its time on the line had run out. Every cut must take at
// least one byte and stay in range, or the channel would stall.
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
        if (cut.kind == fdl::TCutKind::Complete) (void)fdl::Parse(FuzzBytes(data + at, cut.length));
        if (cut.kind == fdl::TCutKind::Corrupt) (void)fdl::FaultText(cut.fault);
        at += cut.length;
    }
    return 0;
}
