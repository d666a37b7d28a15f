// The COM port table: turns the familiar "COM<n>" numbers into device
// paths. COM<n> links in the port directory come first and keep their number;
// the machine's real serial devices then take the numbers no link uses, from
// COM1 up, in the order ttyS, ttyUSB, ttyACM, ttyAMA, then the rest, each
// numerically. The kernel's console is never a port. Where the system names
// its ports COM<n> itself (Windows), each keeps its own number.
#pragma once

#include "SerialDevices.h"

#include <map>
#include <string>
#include <vector>

namespace porttable {

// One row of the table.
struct TPortEntry {
    int comNumber = 0;
    std::string path;     // what to open: the link, or the device node
    std::string device;   // the device it names (the link's target for links)
    std::string product;  // USB product name when known
    bool isLink = false;
    std::string description = {};  // what the system says of the device (TSerialDevice), or of a link's target
};

// `devices` in the table's order: ttyS, ttyUSB, ttyACM, ttyAMA, then the
// rest by name; numerically within each.
std::vector<TSerialDevice> SortDevices(std::vector<TSerialDevice> devices);

// The COM<n> links (1 <= n <= 255) in `folder`: number -> link target.
std::map<int, std::string> ReadPortLinks(const std::string& folder);

// Combines links and devices into the table, ordered by number. A device that
// a link already names gets no second number.
std::vector<TPortEntry> BuildPortTable(const std::string& folder, const std::map<int, std::string>& links,
                                       const std::vector<TSerialDevice>& devices);

// The table of this process: the port directory (created when missing,
// ignored when unsafe, with the reason in `message`) and the system's devices.
std::vector<TPortEntry> CurrentPortTable(std::string& message);

// The path to open for COM<n>, or "" when no such port exists. Where the
// system opens ports by number, an unlisted one is tried by its name.
std::string ResolveComPort(int comNumber);

// One line of `quorvel-cli --list-ports`: "COM1 /dev/ttyS0: built-in UART",
// "COM2 <folder>/COM2 -> /dev/pts/5: pseudo-terminal (a simulator's line)".
std::string ListLine(const TPortEntry& entry);

// Why COM<n> does not open when the system says it does not exist: that it
// does not, with the ports that do, or that its link points to nothing.
std::string NoSuchPort(int comNumber, const std::vector<TPortEntry>& table);

// "<device>" or "<device> (<product>)": the tooltip of a port in a list.
std::string Describe(const TPortEntry& entry);

}  // namespace porttable
