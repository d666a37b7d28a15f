#include "serial/SystemInfo.h"

#include <filesystem>
#include <sys/utsname.h>
#include <unistd.h>

std::string OperatingSystemName()
{
    utsname u{};
    if (uname(&u) != 0) return "unknown";
    return std::string(u.sysname) + " " + u.release;
}

std::string HostName()
{
    utsname u{};
    if (uname(&u) != 0 || u.nodename[0] == 0) return "unknown";
    return u.nodename;
}

void UseParentConsole() {}

void MarkProgramRunning() {}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

std::string ProgramFolder()
{
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path().string();
}

bool LocalCalendarTime(std::time_t time, std::tm& local) { return localtime_r(&time, &local) != nullptr; }
