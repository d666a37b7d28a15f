#include "UsbAdapter.h"

#include <random>

namespace sim {

TUsbAdapter::TUsbAdapter(Millis latency, SimTime origin, std::uint32_t seed) : latency_(latency), firstTick_(origin)
{
    if (latency_.count() > 0) {
        std::minstd_rand random(seed ? seed : 1);
        const auto phaseUs = random() % static_cast<std::uint32_t>(latency_.count() * 1000);
        firstTick_ += std::chrono::microseconds(phaseUs);
    }
}

SimTime TUsbAdapter::NextTick(SimTime t) const { return Next(t, latency_); }

SimTime TUsbAdapter::NextFrame(SimTime t) const { return Next(t, FramePeriod); }

SimTime TUsbAdapter::Next(SimTime t, SimClock::duration period) const
{
    if (latency_.count() <= 0) return t;
    if (t <= firstTick_) return firstTick_;
    const auto ticks = (t - firstTick_ + period - SimClock::duration(1)) / period;  // rounded up
    return firstTick_ + period * ticks;
}

void TUsbAdapter::FromLine(SimTime at, std::uint8_t byte, std::vector<std::uint8_t>& out)
{
    if (latency_.count() <= 0) {
        out.push_back(byte);
        return;
    }
    Flush(at - SimClock::duration(1), out);  // a tick before this byte sent what was held
    if (held_.empty()) flushAt_ = NextTick(at);
    held_.push_back(byte);
    if (held_.size() >= ChunkBytes) Flush(SimTime::max(), out);
}

void TUsbAdapter::Flush(SimTime now, std::vector<std::uint8_t>& out)
{
    if (held_.empty() || flushAt_ > now) return;
    out.insert(out.end(), held_.begin(), held_.end());
    held_.clear();
}

std::optional<SimTime> TUsbAdapter::NextFlush() const
{
    if (held_.empty()) return std::nullopt;
    return flushAt_;
}

}  // namespace sim
