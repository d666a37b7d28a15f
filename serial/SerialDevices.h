// The machine's real serial devices, as the operating system lists them.
// Implemented per system under posix/ and win32/; the COM port table numbers them.
#pragma once

#include <string>
#include <vector>

namespace porttable {

// One real serial device.
struct TSerialDevice {
    std::string name;     // "ttyUSB0"
    std::string path;     // "/dev/ttyUSB0"
    std::string product;  // USB product name; empty for other devices
    // What the system says of it: "USB adapter FTDI FT232R USB UART (0403:6001)",
    // "built-in UART"; empty when it says nothing.
    std::string description = {};
};

// The devices present now, in no particular order. Opens no device. Cheap to
// call in a row: the list may be reused for half a second.
std::vector<TSerialDevice> SystemSerialDevices();

// The path that opens COM<n> when the list does not name it, or "" where the
// system has no such names (Windows opens \\.\COM<n> of any port it has).
std::string DirectDevicePath(int comNumber);

// What the system says of a device path that is no listed serial device
// (the target of a COM<n> link): "pseudo-terminal (a simulator's line)", or "".
std::string DescribeOtherDevice(const std::string& path);

// Drops the reused list: the next call reads the system afresh (a device was
// just added or removed).
void ForgetRecentSerialDevices();

}  // namespace porttable
