#include "WeightCsv.h"

#include "HexText.h"
#include "WeightFormat.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace plot {

std::string UtcTimeText(std::int64_t timeMs)
{
    std::int64_t seconds = timeMs / 1000;
    std::int64_t millis = timeMs % 1000;
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    // The calendar from the standard library: the same on every system, and
    // free of the C library's time-zone state.
    using namespace std::chrono;
    const sys_seconds time{std::chrono::seconds(seconds)};
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(time - day);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<int>(millis));
    return text;
}

std::string WeightCsvHeader() { return "time,module,gross,net,status bytes\n"; }

std::string WeightCsvLine(int module, const TWeightSample& s)
{
    return UtcTimeText(s.TimeMs) + ',' + std::to_string(module) + ',' + FormatWeight(s.Gross) + ',' +
           FormatWeight(s.Net) + ',' + hextext::Byte(s.Status12) + ' ' + hextext::Byte(s.Status11) + '\n';
}

void WriteWeightCsv(std::ostream& out, const TWeightHistory& history, const std::vector<int>& modules,
                    std::int64_t fromMs, std::int64_t toMs, int station)
{
    struct TRow {
        std::int64_t TimeMs;
        std::string Text;  // the line after the time stamp
    };
    const std::string at = ',' + std::to_string(station) + ',';
    std::vector<TRow> rows;
    for (int module : modules)
        history.Ring(module).Visit(fromMs, toMs, [&](const TWeightSample& s) {
            std::string line = WeightCsvLine(module, s);
            line.pop_back();  // its newline; the event column follows
            rows.push_back({s.TimeMs, at + line.substr(line.find(',') + 1) + ",\n"});
        });
    for (const TMarker& m : history.Markers(fromMs, toMs))
        rows.push_back({m.TimeMs, at + ",,,," + (m.Kind == TMarkKind::Stop ? "stop" : "link lost") + '\n'});
    std::stable_sort(rows.begin(), rows.end(), [](const TRow& a, const TRow& b) { return a.TimeMs < b.TimeMs; });
    out << "time,station,module,gross (kg),net (kg),status bytes,event\n";
    for (const TRow& row : rows) out << UtcTimeText(row.TimeMs) << row.Text;
}

}  // namespace plot
