// What the operating system says about itself and about its error numbers.
// Implemented per system under posix/ and win32/.
#pragma once

#include <ctime>
#include <string>

// "<system> <release>" (e.g. "Linux 6.1.0"), or "unknown".
std::string OperatingSystemName();

// The system's own description of error number `code`; empty for numbers it
// does not know.
std::string SystemErrorDescription(int code);

// Whether the program's standard error goes to a terminal (progress lines that
// rewrite themselves are then worth printing).
bool StandardErrorIsTerminal();

// The folder of the running program's executable; empty when unknown.
std::string ProgramFolder();

// `time` in the local time zone; false when the system cannot convert it.
bool LocalCalendarTime(std::time_t time, std::tm& local);
