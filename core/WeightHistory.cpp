#include "WeightHistory.h"

#include <algorithm>
#include <limits>

namespace plot {

TSampleRing::TSampleRing(std::size_t capacity) : slots_(std::max<std::size_t>(capacity, 1)) {}

TWeightSample TSampleRing::Sample(const TSlot& s) const
{
    return TWeightSample{base_ + s.OffsetMs, s.Gross, s.Net, s.Status12, s.Status11};
}

void TSampleRing::Push(const TWeightSample& sample)
{
    if (size_ == 0) base_ = sample.TimeMs;
    std::int64_t offset = sample.TimeMs - base_;
    if (size_ > 0) offset = std::max<std::int64_t>(offset, At(size_ - 1).OffsetMs);
    if (offset > std::numeric_limits<std::uint32_t>::max()) {
        // About 49 days since the base: start again from this sample.
        Clear();
        base_ = sample.TimeMs;
        offset = 0;
    }
    const TSlot slot{static_cast<std::uint32_t>(offset), sample.Gross, sample.Net, sample.Status12, sample.Status11};
    if (size_ < slots_.size()) {
        slots_[(head_ + size_) % slots_.size()] = slot;
        ++size_;
    } else {
        slots_[head_] = slot;
        head_ = (head_ + 1) % slots_.size();
    }
}

std::size_t TSampleRing::LowerBound(std::int64_t timeMs) const
{
    std::size_t low = 0, high = size_;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (base_ + At(mid).OffsetMs < timeMs)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

TWeightHistory::TWeightHistory(int modules)
    : rings_(static_cast<std::size_t>(std::max(modules, 0))), markers_(MarkerCapacity)
{
}

void TWeightHistory::Add(int module, const TWeightSample& sample)
{
    if (module < 0 || module >= ModuleSlots()) return;
    auto& ring = rings_[static_cast<std::size_t>(module)];
    if (!ring) ring = std::make_unique<TSampleRing>(RingCapacity);
    if (!ring->Empty()) {
        const std::int64_t since = sample.TimeMs - ring->Newest().TimeMs;
        if (since >= 0 && since < MinSpacingMs) return;
    }
    ring->Push(sample);
    newestMs_ = std::max(newestMs_, sample.TimeMs);
}

void TWeightHistory::Mark(const TMarker& marker)
{
    markers_[(markerHead_ + markerCount_) % MarkerCapacity] = marker;
    if (markerCount_ < MarkerCapacity)
        ++markerCount_;
    else
        markerHead_ = (markerHead_ + 1) % MarkerCapacity;
    newestMs_ = std::max(newestMs_, marker.TimeMs);
}

const TSampleRing& TWeightHistory::Ring(int module) const
{
    static const TSampleRing empty(1);
    if (!HasSamples(module)) return empty;
    return *rings_[static_cast<std::size_t>(module)];
}

bool TWeightHistory::HasSamples(int module) const
{
    return module >= 0 && module < ModuleSlots() && rings_[static_cast<std::size_t>(module)] &&
           !rings_[static_cast<std::size_t>(module)]->Empty();
}

std::vector<TMarker> TWeightHistory::Markers(std::int64_t fromMs, std::int64_t toMs) const
{
    std::vector<TMarker> found;
    for (std::size_t i = 0; i < markerCount_; ++i) {
        const TMarker& m = markers_[(markerHead_ + i) % MarkerCapacity];
        if (m.TimeMs >= fromMs && m.TimeMs <= toMs) found.push_back(m);
    }
    return found;
}

std::vector<std::int64_t> TWeightHistory::LinkLosses(std::int64_t fromMs, std::int64_t toMs) const
{
    std::vector<std::int64_t> found;
    for (const TMarker& m : Markers(fromMs, toMs))
        if (m.Kind == TMarkKind::LinkLost) found.push_back(m.TimeMs);
    return found;
}

void TWeightHistory::Clear()
{
    for (auto& ring : rings_)
        if (ring) ring->Clear();
    markerHead_ = markerCount_ = 0;
    newestMs_ = 0;
}

namespace {

// The extremes of one time slice of one series.
struct TSlice {
    TPoint Low{}, High{};
    void Start(const TPoint& p) { Low = High = p; }
    void Take(const TPoint& p)
    {
        if (p.Value < Low.Value)
            Low = p;
        else if (p.Value > High.Value)
            High = p;
    }
    void Flush(std::vector<TPoint>& out) const
    {
        if (Low.TimeMs == High.TimeMs) {
            out.push_back(Low);
            return;
        }
        const bool lowFirst = Low.TimeMs < High.TimeMs;
        out.push_back(lowFirst ? Low : High);
        out.push_back(lowFirst ? High : Low);
    }
};

}  // namespace

void Decimate(const TSampleRing& ring, std::int64_t fromMs, std::int64_t toMs, int buckets, std::vector<TPoint>& gross,
              std::vector<TPoint>& net)
{
    gross.clear();
    net.clear();
    if (buckets < 1 || toMs <= fromMs) return;
    const std::int64_t span = toMs - fromMs;
    int bucket = -1;
    TSlice g, n;
    ring.Visit(fromMs, toMs, [&](const TWeightSample& s) {
        const int b = static_cast<int>(std::min<std::int64_t>((s.TimeMs - fromMs) * buckets / span, buckets - 1));
        const TPoint pg{s.TimeMs, s.Gross}, pn{s.TimeMs, s.Net};
        if (b != bucket) {
            if (bucket >= 0) {
                g.Flush(gross);
                n.Flush(net);
            }
            bucket = b;
            g.Start(pg);
            n.Start(pn);
        } else {
            g.Take(pg);
            n.Take(pn);
        }
    });
    if (bucket >= 0) {
        g.Flush(gross);
        n.Flush(net);
    }
}

}  // namespace plot
