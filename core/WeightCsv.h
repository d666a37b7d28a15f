// The weight files: the command line's weight log, one line per sample with
// its time stamp, module, gross and net weight (in the page's format) and
// status bytes; and the weight plot's export, which also names the station,
// the unit and the times the link was lost or stopped.
#pragma once

#include "WeightHistory.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace plot {

// "2026-12-09T11:05:03.042Z": UTC with milliseconds.
std::string UtcTimeText(std::int64_t timeMs);

// "time,module,gross,net,status bytes\n"
std::string WeightCsvHeader();
// One sample of `module` as a line of that file, its newline included.
std::string WeightCsvLine(int module, const TWeightSample& sample);

// "time,station,module,gross (kg),net (kg),status bytes,event\n", then the
// samples of `modules` and the markers ("link lost", "stop" in the event
// column) with fromMs <= time <= toMs in time order (modules in the given
// order at equal times, a marker after the samples of its time). `station`
// is the slave address the history was recorded from.
void WriteWeightCsv(std::ostream& out, const TWeightHistory& history, const std::vector<int>& modules,
                    std::int64_t fromMs, std::int64_t toMs, int station);

}  // namespace plot
