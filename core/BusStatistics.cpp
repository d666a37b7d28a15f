#include "BusStatistics.h"

namespace busstats {

const std::vector<TCounterRow>& CounterRows()
{
    static const std::vector<TCounterRow> rows = {
        {"requests", [](const TSnapshot& s) { return s.bus.requests; }},
        {"answers", [](const TSnapshot& s) { return s.bus.answers; }},
        {"answers lost", [](const TSnapshot& s) { return s.bus.noAnswer; }},
        {"repeats", [](const TSnapshot& s) { return s.bus.repeats; }},
        {"late answers", [](const TSnapshot& s) { return s.bus.late; }},
        {"bad answers", [](const TSnapshot& s) { return s.bus.badAnswers; }},
        {"  check sum", [](const TSnapshot& s) { return s.line.checkSum; }},
        {"  length", [](const TSnapshot& s) { return s.line.length; }},
        {"  end byte", [](const TSnapshot& s) { return s.line.endByte; }},
        {"  not complete in time", [](const TSnapshot& s) { return s.line.timeout; }},
        {"  parity", [](const TSnapshot& s) { return s.line.parity; }},
        {"noise bytes", [](const TSnapshot& s) { return s.line.noiseBytes; }},
    };
    return rows;
}

void TBusStatistics::Reset(const TSnapshot& now)
{
    baseline_ = now;
    recent_.assign(1, now);
}

void TBusStatistics::Sample(const TSnapshot& now)
{
    recent_.push_back(now);
    while (recent_.size() > 2 && now.at - recent_[1].at >= RateWindow) recent_.pop_front();
}

double TBusStatistics::Ms(std::chrono::microseconds TBusCounters::*cycle) const
{
    return recent_.empty() ? 0 : static_cast<double>((recent_.back().bus.*cycle).count()) / 1000.0;
}

std::uint64_t TBusStatistics::Count(const TCounterRow& row) const
{
    if (recent_.empty()) return 0;
    const std::uint64_t now = row.value(recent_.back());
    const std::uint64_t then = row.value(baseline_);
    return now >= then ? now - then : 0;
}

double TBusStatistics::PerMinute(const TCounterRow& row) const
{
    if (recent_.size() < 2) return 0;
    const TSnapshot& first = recent_.front();
    const TSnapshot& last = recent_.back();
    const double seconds = std::chrono::duration<double>(last.at - first.at).count();
    const std::uint64_t from = row.value(first);
    const std::uint64_t to = row.value(last);
    if (seconds < 1.0 || to < from) return 0;  // no rate from less than a second
    return static_cast<double>(to - from) * 60.0 / seconds;
}

}  // namespace busstats
