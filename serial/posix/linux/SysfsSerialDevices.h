// The machine's serial devices as Linux lists them in sysfs.
#pragma once

#include "serial/SerialDevices.h"

namespace porttable {

// The real serial devices under `sysfsRoot` (normally "/sys"), read from
// <root>/class/tty: entries with a driver, without serial-core placeholders
// whose UART type is unknown (0), without the console devices listed in
// <root>/class/tty/console/active. Reads only files below the root; opens no
// device. In directory order.
std::vector<TSerialDevice> EnumerateSerialDevices(const std::string& sysfsRoot);

}  // namespace porttable
