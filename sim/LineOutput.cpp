#include "LineOutput.h"

#include <algorithm>

namespace sim {

std::uint8_t Garble(std::uint8_t sent, std::optional<std::uint8_t> master, std::uint8_t noise)
{
    // Bits where both drivers drive the same level come through; where they
    // fight, the receiver reads either level.
    std::uint8_t read = master ? static_cast<std::uint8_t>((sent & *master) | (noise & (sent ^ *master))) : sent;
    if (read == sent) read = static_cast<std::uint8_t>(sent ^ (noise | 1));  // the start bit was taken elsewhere
    return read;
}

SimTime TLineOutput::Send(const TByteString& bytes, SimTime start, Duration charTime, int station,
                          std::optional<std::size_t> bad)
{
    SimTime at = std::max(start, freeAt_);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        queue_.push_back({at, at + charTime, bytes[i], station, i, bytes.size(), false, bad == i});
        at += charTime;  // a character is there once its stop bit is
    }
    freeAt_ = at;
    return at;
}

std::optional<SimTime> TLineOutput::NextDue() const
{
    if (queue_.empty()) return std::nullopt;
    return queue_.front().due;
}

std::vector<TLineOutput::TByteAt> TLineOutput::TakeDue(SimTime now)
{
    std::vector<TByteAt> due;
    while (!queue_.empty() && queue_.front().due <= now) {
        due.push_back({queue_.front().due, queue_.front().byte, queue_.front().bad});
        lastTaken_ = queue_.front().due;
        queue_.pop_front();
    }
    return due;
}

SimTime TLineOutput::QuietSince(SimTime t) const
{
    SimTime quiet = lastTaken_;
    for (const TQueued& q : queue_) {
        if (q.due > t) break;
        quiet = q.due;
    }
    return quiet;
}

bool TLineOutput::Busy(SimTime from, SimTime to) const
{
    return std::any_of(queue_.begin(), queue_.end(), [&](const TQueued& q) { return q.from < to && q.due > from; });
}

std::vector<TLineOutput::TCollision> TLineOutput::Collide(SimTime from, Duration charTime,
                                                          const std::vector<std::uint8_t>& master,
                                                          std::minstd_rand& random)
{
    std::vector<TCollision> hit;
    const SimTime to = from + charTime * static_cast<long>(master.size());
    if (charTime <= Duration::zero()) return hit;  // no line time: nothing overlaps
    for (std::size_t i = 0; i < queue_.size(); ++i) {
        const TQueued& first = queue_[i];
        if (first.garbled || first.from >= to || first.due <= from) continue;
        if (first.station != NoStation) hit.push_back({first.station, first.length, first.index});
        // The rest of this telegram is queued behind it.
        for (std::size_t j = i; j < queue_.size() && j - i < first.length - first.index; ++j) {
            TQueued& q = queue_[j];
            std::optional<std::uint8_t> driven;
            if (q.from < to && q.due > from) {
                const auto k = std::clamp<long>((q.from - from) / charTime, 0, static_cast<long>(master.size()) - 1);
                driven = master[static_cast<std::size_t>(k)];
            }
            q.byte = Garble(q.byte, driven, static_cast<std::uint8_t>(random()));
            q.garbled = true;
        }
    }
    return hit;
}

}  // namespace sim
