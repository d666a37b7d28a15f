// What the operating system says about itself and about its error numbers.
// Implemented per system under posix/ and win32/.
#pragma once

#include <ctime>
#include <string>

// Whether this is the Windows build: its texts name Windows' places and
// remedies, and its file names follow Windows' rules.
#ifdef _WIN32
inline constexpr bool WindowsBuild = true;
#else
inline constexpr bool WindowsBuild = false;
#endif

// "<system> <release>" (e.g. "Linux 6.1.0"), or "unknown".
std::string OperatingSystemName();

// The machine's name on the network, or "unknown".
std::string HostName();

// The system's own description of error number `code`; empty for numbers it
// does not know.
std::string SystemErrorDescription(int code);

// Whether the program's standard error goes to a terminal (progress lines that
// rewrite themselves are then worth printing).
bool StandardErrorIsTerminal();

// The folder of the running program's executable; empty when unknown.
std::string ProgramFolder();

// Where standard output goes nowhere (a Windows GUI program started from a
// console's prompt), sends standard output and error to the console of the
// program that started this one, if it has one; output already redirected
// stays where it goes. Nothing elsewhere.
void UseParentConsole();

// Marks the program as running for as long as the process lives, where the
// system's installer asks (Windows: a named mutex that setup and the
// uninstaller look for before they touch the program's files); nothing
// elsewhere.
void MarkProgramRunning();

// `time` in the local time zone; false when the system cannot convert it.
bool LocalCalendarTime(std::time_t time, std::tm& local);
