#include "PortProbe.h"

#include "VeltPort.h"

#include <exception>

bool ProbeComPort(int comNumber)
{
    if (comNumber < 1 || comNumber > 0xFFFF) return false;
    TVeltComPort port;
    port.SetPromptForPort(false);
    port.SetComNumber(static_cast<std::uint16_t>(comNumber));
    try {
        port.OpenPort();
        port.ClosePort();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
