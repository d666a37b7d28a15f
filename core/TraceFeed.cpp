#include "TraceFeed.h"

#include <chrono>

namespace {

// The steady-clock time `at` as nanoseconds since 1970.
std::uint64_t SystemNanoseconds(std::chrono::steady_clock::time_point at)
{
    using namespace std::chrono;
    const auto age = steady_clock::now() - at;
    const auto stamp = system_clock::now().time_since_epoch() - duration_cast<system_clock::duration>(age);
    return static_cast<std::uint64_t>(duration_cast<nanoseconds>(stamp).count());
}

}  // namespace

T_DPV0::TTraceEvent TraceFeed(TTraceRecorder& recorder)
{
    return [&recorder](const TTraceEntry& entry) {
        const bool inbound = entry.kind == TTraceKind::Received || entry.kind == TTraceKind::Dropped;
        recorder.Record(inbound ? pcapng::Direction::Inbound : pcapng::Direction::Outbound, entry.bytes.data(),
                        entry.bytes.size(), entry.comment, SystemNanoseconds(entry.at));
    };
}
