#include "TraceFeed.h"

#include <chrono>

T_DPV0::TTraceEvent TraceFeed(TTraceRecorder& recorder)
{
    // One offset from the steady clock to the system's for the whole trace:
    // entries keep the steady clock's order and distances (reading both
    // clocks anew for each entry put two telegrams read together hundreds of
    // nanoseconds apart, either way round).
    using namespace std::chrono;
    const auto offset = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()) -
                        duration_cast<nanoseconds>(steady_clock::now().time_since_epoch());
    return [&recorder, offset](const TTraceEntry& entry) {
        const bool inbound = entry.kind == TTraceKind::Received || entry.kind == TTraceKind::Dropped;
        const auto stamp = duration_cast<nanoseconds>(entry.at.time_since_epoch()) + offset;
        recorder.Record(inbound ? pcapng::Direction::Inbound : pcapng::Direction::Outbound, entry.bytes.data(),
                        entry.bytes.size(), entry.comment, static_cast<std::uint64_t>(stamp.count()));
    };
}
