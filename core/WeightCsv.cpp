#include "WeightCsv.h"

#include "HexText.h"
#include "WeightFormat.h"

#include <algorithm>
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
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
    return text;
}

std::string WeightCsvHeader() { return "time,module,gross,net,status bytes\n"; }

std::string WeightCsvLine(int module, const TWeightSample& s)
{
    return UtcTimeText(s.TimeMs) + ',' + std::to_string(module) + ',' + FormatWeight(s.Gross) + ',' +
           FormatWeight(s.Net) + ',' + hextext::Byte(s.Status12) + ' ' + hextext::Byte(s.Status11) + '\n';
}

void WriteWeightCsv(std::ostream& out, const TWeightHistory& history, const std::vector<int>& modules,
                    std::int64_t fromMs, std::int64_t toMs)
{
    struct TRow {
        TWeightSample Sample;
        int Module;
    };
    std::vector<TRow> rows;
    for (int module : modules)
        history.Ring(module).Visit(fromMs, toMs, [&](const TWeightSample& s) { rows.push_back({s, module}); });
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TRow& a, const TRow& b) { return a.Sample.TimeMs < b.Sample.TimeMs; });
    out << WeightCsvHeader();
    for (const TRow& row : rows) out << WeightCsvLine(row.Module, row.Sample);
}

}  // namespace plot
