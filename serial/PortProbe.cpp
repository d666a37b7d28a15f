#include "PortProbe.h"

#include "VeltExcept.h"
#include "VeltMisc.h"
#include "VeltPort.h"

#include <cerrno>

bool ProbeCountsUnavailablePorts = false;

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
    } catch (const EAlreadyOpen&) {
        return ProbeCountsUnavailablePorts;
    } catch (const EInOutError& e) {
        return ProbeCountsUnavailablePorts && e.ErrorCode() == EACCES;
    } catch (const std::exception&) {
        return false;
    }
}
