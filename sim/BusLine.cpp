#include "BusLine.h"

#include <algorithm>

namespace sim {

TBusLine::TBusLine(TUsbAdapter adapter, std::uint32_t seed) : adapter_(adapter), random_(seed ? seed : 1) {}

void TBusLine::FromMaster(const std::uint8_t* bytes, std::size_t count, SimTime now, Duration charTime)
{
    if (count == 0) return;
    const SimTime at = adapter_.NextFrame(now);
    if (fromMaster_.empty() || fromMaster_.back().reachesLine != at) fromMaster_.push_back({at, charTime, {}});
    fromMaster_.back().bytes.insert(fromMaster_.back().bytes.end(), bytes, bytes + count);
}

void TBusLine::OntoLine(const std::uint8_t* bytes, std::size_t count, SimTime at, Duration charTime)
{
    if (count == 0) return;
    const auto later = std::upper_bound(fromMaster_.begin(), fromMaster_.end(), at,
                                        [](SimTime t, const TPending& p) { return t < p.reachesLine; });
    fromMaster_.insert(later, {at, charTime, std::vector<std::uint8_t>(bytes, bytes + count)});
}

SimTime TBusLine::Send(const TByteString& bytes, SimTime start, Duration charTime, int station,
                       std::optional<std::size_t> bad)
{
    return output_.Send(bytes, start, charTime, station, bad);
}

void TBusLine::Flood(SimTime from, SimTime until, Duration charTime)
{
    floodFrom_ = from;
    floodUntil_ = until;
    floodChar_ = std::max(charTime, Duration(1));
    floodNext_ = from + floodChar_;
}

std::optional<SimTime> TBusLine::NextDue() const
{
    std::optional<SimTime> next = output_.NextDue();
    const auto earlier = [&](std::optional<SimTime> t) {
        if (t && (!next || *t < *next)) next = t;
    };
    if (!fromMaster_.empty()) earlier(fromMaster_.front().reachesLine);
    if (floodNext_ <= floodUntil_ && floodNext_ > floodFrom_) earlier(floodNext_);
    earlier(adapter_.NextFlush());
    return next;
}

void TBusLine::PutOnLine(TPending& pending, TStep& step)
{
    const SimTime from = std::max(pending.reachesLine, masterFreeAt_);
    const Duration c = pending.charTime;
    // Bytes that follow the master's last without a pause share its fate;
    // others need the idle time (three characters of 11 bits).
    if (from > masterFreeAt_ || masterFreeAt_ == SimTime{}) {
        const Duration idle = from - std::max(masterFreeAt_, output_.QuietSince(from));
        synced_ = idle >= c * 3;
        if (!synced_ && !output_.Busy(from, from + c)) step.unsynced.push_back(idle);  // else a collision
    }
    const auto collisions = output_.Collide(from, c, pending.bytes, random_);
    step.collisions.insert(step.collisions.end(), collisions.begin(), collisions.end());
    // Only bytes sent on a quiet line reach the stations: a station that
    // sends does not listen, and a flood drowns everything.
    bool gap = true;
    for (std::size_t k = 0; k < pending.bytes.size(); ++k) {
        const SimTime start = from + c * static_cast<long>(k);
        step.driven.push_back({start + c, pending.bytes[k]});
        if (!synced_ || Flooded(start) || output_.Busy(start, start + c)) {
            gap = true;
            continue;
        }
        if (gap) step.heard.push_back({});
        gap = false;
        step.heard.back().bytes.push_back(pending.bytes[k]);
        step.heard.back().end = start + c;
    }
    masterFreeAt_ = from + c * static_cast<long>(pending.bytes.size());
}

TBusLine::TStep TBusLine::Advance(SimTime now)
{
    TStep step;
    std::size_t released = 0;
    while (released < fromMaster_.size() && fromMaster_[released].reachesLine <= now)
        PutOnLine(fromMaster_[released++], step);
    fromMaster_.erase(fromMaster_.begin(), fromMaster_.begin() + static_cast<std::ptrdiff_t>(released));

    // The stations' bytes and the flood's, in the order they come off the line.
    std::vector<TLineOutput::TByteAt> bytes = output_.TakeDue(now);
    std::vector<TLineOutput::TByteAt> flood;
    for (; floodNext_ > floodFrom_ && floodNext_ <= std::min(now, floodUntil_); floodNext_ += floodChar_)
        flood.push_back({floodNext_, static_cast<std::uint8_t>(random_())});
    std::vector<TLineOutput::TByteAt> merged(bytes.size() + flood.size());
    std::merge(bytes.begin(), bytes.end(), flood.begin(), flood.end(), merged.begin(),
               [](const auto& a, const auto& b) { return a.due < b.due; });
    step.offLine = merged;
    for (const auto& b : merged) {
        if (b.bad) badOffLine_.push_back(offLine_);
        ++offLine_;
        adapter_.FromLine(b.due, b.byte, step.toMaster);
    }
    adapter_.Flush(now, step.toMaster);
    MarkBad(step);
    return step;
}

void TBusLine::MarkBad(TStep& step)
{
    const std::uint64_t first = toMaster_;
    toMaster_ += step.toMaster.size();
    for (; !badOffLine_.empty() && badOffLine_.front() < toMaster_; badOffLine_.pop_front())
        step.bad.push_back(static_cast<std::size_t>(badOffLine_.front() - first));
}

}  // namespace sim
