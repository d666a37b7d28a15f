// The COM port table: turns the familiar "COM<n>" numbers into Linux device
// paths. COM<n> links in the port directory come first and keep their number;
// the machine's real serial devices then take the numbers no link uses, from
// COM1 up, in the order ttyS, ttyUSB, ttyACM, ttyAMA, then the rest, each
// numerically. The kernel's console is never a port.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace porttable {

// One real serial device found in sysfs.
struct TSerialDevice {
    std::string name;     // "ttyUSB0"
    std::string path;     // "/dev/ttyUSB0"
    std::string product;  // USB product name; empty for other devices
};

// One row of the table.
struct TPortEntry {
    int comNumber = 0;
    std::string path;     // what to open: the link, or the device node
    std::string device;   // the device it names (the link's target for links)
    std::string product;  // USB product name when known
    bool isLink = false;
};

// The real serial devices under `sysfsRoot` (normally "/sys"), read from
// <root>/class/tty: entries with a driver, without serial-core placeholders
// whose UART type is unknown (0), without the console devices listed in
// <root>/class/tty/console/active. Reads only files below the root; opens no
// device. Sorted in the table's order.
std::vector<TSerialDevice> EnumerateSerialDevices(const std::string& sysfsRoot);

// The COM<n> links (1 <= n <= 255) in `folder`: number -> link target.
std::map<int, std::string> ReadPortLinks(const std::string& folder);

// Combines links and devices into the table, ordered by number. A device that
// a link already names gets no second number.
std::vector<TPortEntry> BuildPortTable(const std::string& folder, const std::map<int, std::string>& links,
                                       const std::vector<TSerialDevice>& devices);

// The table of this process: the port directory (created when missing,
// ignored when unsafe, with the reason in `message`) and the devices under
// $QUORVEL_SYSFS_ROOT (default /sys), read afresh at most every half second.
std::vector<TPortEntry> CurrentPortTable(std::string& message);

// The path to open for COM<n>, or "" when no such port exists.
std::string ResolveComPort(int comNumber);

// "<device>" or "<device> (<product>)": the tooltip of a port in a list.
std::string Describe(const TPortEntry& entry);

}  // namespace porttable
