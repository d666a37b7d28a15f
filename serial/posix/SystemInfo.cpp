#include "serial/SystemInfo.h"

#include <sys/utsname.h>
#include <unistd.h>

std::string OperatingSystemName()
{
    utsname u{};
    if (uname(&u) != 0) return "unknown";
    return std::string(u.sysname) + " " + u.release;
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }
