// Windows names its serial ports itself (COM<n> in the system's device map),
// so there is no folder of links: the port table lists the system's ports.
#include "serial/PortDirectory.h"

namespace portdir {

std::string Path() { return {}; }

bool Ensure(std::string& message)
{
    message.clear();
    return false;
}

std::string LinkPath(int comNumber) { return "\\\\.\\COM" + std::to_string(comNumber); }

}  // namespace portdir
