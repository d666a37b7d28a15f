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

void TSampleRing::Visit(std::int64_t fromMs, std::int64_t toMs,
                        const std::function<void(const TWeightSample&)>& visit) const
{
    for (std::size_t i = LowerBound(fromMs); i < size_; ++i) {
        const TWeightSample s = Sample(At(i));
        if (s.TimeMs > toMs) break;
        visit(s);
    }
}

TWeightHistory::TWeightHistory(int modules) : rings_(static_cast<std::size_t>(std::max(modules, 0))), markers_(MarkerCapacity) {}

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

void TWeightHistory::MarkLinkLost(std::int64_t timeMs)
{
    markers_[(markerHead_ + markerCount_) % MarkerCapacity] = timeMs;
    if (markerCount_ < MarkerCapacity)
        ++markerCount_;
    else
        markerHead_ = (markerHead_ + 1) % MarkerCapacity;
    newestMs_ = std::max(newestMs_, timeMs);
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

std::vector<std::int64_t> TWeightHistory::LinkLosses(std::int64_t fromMs, std::int64_t toMs) const
{
    std::vector<std::int64_t> found;
    for (std::size_t i = 0; i < markerCount_; ++i) {
        const std::int64_t t = markers_[(markerHead_ + i) % MarkerCapacity];
        if (t >= fromMs && t <= toMs) found.push_back(t);
    }
    return found;
}

void TWeightHistory::Clear()
{
    for (auto& ring : rings_)
        if (ring) ring->Clear();
    markerHead_ = markerCount_ = 0;
    newestMs_ = 0;
}

void Decimate(const TSampleRing& ring, TWeightKind kind, std::int64_t fromMs, std::int64_t toMs, int buckets,
              std::vector<TPoint>& out)
{
    out.clear();
    if (buckets < 1 || toMs <= fromMs) return;
    const std::int64_t span = toMs - fromMs;
    int bucket = -1;
    TPoint low{}, high{};
    const auto flush = [&] {
        if (bucket < 0) return;
        if (low.TimeMs == high.TimeMs) {
            out.push_back(low);
        } else {
            out.push_back(low.TimeMs < high.TimeMs ? low : high);
            out.push_back(low.TimeMs < high.TimeMs ? high : low);
        }
    };
    ring.Visit(fromMs, toMs, [&](const TWeightSample& s) {
        const float value = kind == TWeightKind::Gross ? s.Gross : s.Net;
        const int b = static_cast<int>(std::min<std::int64_t>((s.TimeMs - fromMs) * buckets / span, buckets - 1));
        const TPoint p{s.TimeMs, value};
        if (b != bucket) {
            flush();
            bucket = b;
            low = high = p;
        } else if (value < low.Value) {
            low = p;
        } else if (value > high.Value) {
            high = p;
        }
    });
    flush();
}

}  // namespace plot
