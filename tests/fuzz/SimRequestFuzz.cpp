// The simulator's request parser and its station on any bytes from the line:
// the first byte of each piece (split at 0xA5) is the pause before it in
// milliseconds, so partial telegrams are dropped on idle gaps too.
#include "sim/SlaveFrames.h"
#include "sim/SlaveStation.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    sim::SimTime now{};
    sim::TRequestParser parser;
    sim::TSlaveStation station(3, 2, 1, now);
    for (const std::string& piece : FuzzPieces(data, size, '\xA5')) {
        if (piece.empty()) continue;
        now += sim::Millis(static_cast<std::uint8_t>(piece[0]));
        parser.Expire(now);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(piece.data()) + 1;
        for (const sim::TRequest& request : parser.Feed(bytes, piece.size() - 1, now))
            (void)station.Dp().Handle(request, now);
    }
    return 0;
}
