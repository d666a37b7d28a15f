// The recent weights of every module for the weight plot: one ring of
// samples per module, sized once for the longest window at the fastest rate
// a ring keeps, so memory stays flat however long the link runs; and the
// times the link was lost or stopped. No Qt: the window draws from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace plot {

struct TWeightSample {
    std::int64_t TimeMs = 0;  // milliseconds since 1970 (UTC)
    float Gross = 0;
    float Net = 0;
    std::uint8_t Status12 = 0;  // status bytes as the page shows them: byte 12, then byte 11
    std::uint8_t Status11 = 0;
};

// A fixed-capacity ring of samples in time order; the oldest goes first.
class TSampleRing {
public:
    explicit TSampleRing(std::size_t capacity);
    // Samples whose time is before the newest one are taken at its time, so
    // the ring stays in order when the clock is set back.
    void Push(const TWeightSample& sample);
    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return slots_.size(); }
    bool Empty() const { return size_ == 0; }
    TWeightSample Newest() const { return Sample(At(size_ - 1)); }  // requires !Empty()
    // Calls `visit` for each sample with fromMs <= time <= toMs, oldest first.
    template <typename F>
    void Visit(std::int64_t fromMs, std::int64_t toMs, F&& visit) const
    {
        for (std::size_t i = LowerBound(fromMs); i < size_; ++i) {
            const TWeightSample s = Sample(At(i));
            if (s.TimeMs > toMs) break;
            visit(s);
        }
    }
    void Clear() { head_ = size_ = 0; }

private:
    struct TSlot {
        std::uint32_t OffsetMs;  // from base_
        float Gross;
        float Net;
        std::uint8_t Status12;
        std::uint8_t Status11;
    };
    const TSlot& At(std::size_t i) const { return slots_[(head_ + i) % slots_.size()]; }
    TWeightSample Sample(const TSlot& slot) const;
    // The first index whose time is >= timeMs (binary search: the ring is in order).
    std::size_t LowerBound(std::int64_t timeMs) const;

    std::vector<TSlot> slots_;
    std::size_t head_ = 0;  // the oldest sample
    std::size_t size_ = 0;
    std::int64_t base_ = 0;  // time of offset 0; set by the first sample after a clear
};

// A time the samples stop: the link was lost, or the user stopped it.
enum class TMarkKind : std::uint8_t { LinkLost, Stop };
struct TMarker {
    std::int64_t TimeMs = 0;
    TMarkKind Kind = TMarkKind::LinkLost;
};

class TWeightHistory {
public:
    static constexpr std::int64_t LongestWindowMs = 15 * 60 * 1000;
    // A module's samples closer than this to its previous one are dropped:
    // the ring then always covers the longest window (100 per second).
    static constexpr std::int64_t MinSpacingMs = 10;
    static constexpr std::size_t RingCapacity = LongestWindowMs / MinSpacingMs + 1;
    static constexpr std::size_t MarkerCapacity = 1024;

    explicit TWeightHistory(int modules = 64);

    // A module's ring is allocated at its first sample; modules out of range are ignored.
    void Add(int module, const TWeightSample& sample);
    // The link was lost, or stopped by the user, at this time.
    void MarkLinkLost(std::int64_t timeMs) { Mark({timeMs, TMarkKind::LinkLost}); }
    void MarkStop(std::int64_t timeMs) { Mark({timeMs, TMarkKind::Stop}); }

    int ModuleSlots() const { return static_cast<int>(rings_.size()); }
    // Nothing recorded for a module reads as an empty ring.
    const TSampleRing& Ring(int module) const;
    bool HasSamples(int module) const;
    // The newest time of any sample or marker (0 with none).
    std::int64_t NewestMs() const { return newestMs_; }
    // Link-lost times with fromMs <= time <= toMs, oldest first.
    std::vector<std::int64_t> LinkLosses(std::int64_t fromMs, std::int64_t toMs) const;
    // Every marker with fromMs <= time <= toMs, oldest first.
    std::vector<TMarker> Markers(std::int64_t fromMs, std::int64_t toMs) const;
    void Clear();

private:
    std::vector<std::unique_ptr<TSampleRing>> rings_;  // null until the module's first sample
    void Mark(const TMarker& marker);

    std::vector<TMarker> markers_;  // a ring of MarkerCapacity markers
    std::size_t markerHead_ = 0;
    std::size_t markerCount_ = 0;
    std::int64_t newestMs_ = 0;
};

// Gross and net reduced to the width of the plot: for each of `buckets`
// equal time slices of [fromMs, toMs] the smallest and the largest value in
// time order, so peaks stay visible. The outputs are cleared and filled with
// (time, value).
struct TPoint {
    std::int64_t TimeMs;
    float Value;
};
void Decimate(const TSampleRing& ring, std::int64_t fromMs, std::int64_t toMs, int buckets, std::vector<TPoint>& gross,
              std::vector<TPoint>& net);

}  // namespace plot
