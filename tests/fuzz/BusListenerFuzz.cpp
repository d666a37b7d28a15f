// The passive decoder on any bytes, fed in pieces split at 0xFF so that
// telegrams arrive cut anywhere, as reads of a line bring them.
#include "dp/BusListener.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    buslisten::TBusListener listener;
    auto at = buslisten::Clock::time_point{};
    for (const std::string& piece : FuzzPieces(data, size, '\xFF')) {
        at += std::chrono::milliseconds(1);
        listener.Feed(FuzzBytes(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()), at);
    }
    for (const auto& [address, station] : listener.Stations()) (void)buslisten::RoleText(station.role);
    return 0;
}
