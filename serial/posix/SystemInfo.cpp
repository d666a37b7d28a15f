#include "SystemInfo.h"

#include <sys/utsname.h>

std::string OperatingSystemName()
{
    utsname u{};
    if (uname(&u) != 0) return "unknown";
    return std::string(u.sysname) + " " + u.release;
}
