// Files the program writes for the user (backup, trace, weight log, exports):
// where one may go, and writing one whole. A destination is a regular file or
// a name not taken yet in a folder that takes new files; never a symbolic
// link, a device or a folder, whose replacement would harm the system.
#pragma once

#include <string>
#include <string_view>

namespace outfile {

// False with `error` ("cannot write PATH: <reason>") when `path` cannot take
// the file; creates nothing and changes nothing. On Windows a file name that
// the system takes for a device (IsWindowsDeviceName) is refused here and by
// WriteWhole.
bool CheckDestination(const std::string& path, std::string& error);

// Whether the last component of `path` is one of Windows' device names (CON,
// PRN, AUX, NUL, CONIN$, CONOUT$, COM1 to COM9, LPT1 to LPT9), in any case,
// with or without an extension ("aux.txt") or trailing spaces: Windows opens
// the device whatever folder the name stands in. Other systems take these as
// ordinary names.
bool IsWindowsDeviceName(std::string_view path);

// True when the two paths name one file (also through links or "..").
bool SameFile(const std::string& a, const std::string& b);

// Writes `bytes` into a new file beside `path`, flushes it to the disk,
// renames it over `path` and flushes the folder: an older file at `path`
// stays whole whatever fails. False with `error` naming the path and reason.
bool WriteWhole(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace outfile
