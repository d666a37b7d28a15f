// quorvel-cli's exit statuses, one for each outcome a script tells apart
// (the manual page lists them in one table).
#pragma once

namespace exitstatus {

inline constexpr int AllWell = 0;
inline constexpr int LinkDown = 1;     // not in data exchange at the end, or a run stopped before its end
inline constexpr int BadInput = 2;     // a wrong option, an input file that cannot be used, a port error
inline constexpr int OutputCut = 3;    // an output file stopped early or could not be written
inline constexpr int ItemsLeft = 4;    // a backup or restore left items out
inline constexpr int CheckFailed = 5;  // the calibration check did not pass

// Where two outcomes hold, the lower status (other than 0) is the one given.
constexpr int First(int a, int b) { return a == AllWell ? b : b == AllWell ? a : a < b ? a : b; }

}  // namespace exitstatus
