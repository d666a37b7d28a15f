#include "SysfsSerialDevices.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace porttable {

namespace {

std::string ReadFirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

// Names listed as the active console ("tty0 ttyS0").
std::set<std::string> ConsoleNames(const fs::path& ttyClass)
{
    std::istringstream words(ReadFirstLine(ttyClass / "console" / "active"));
    std::set<std::string> names;
    for (std::string w; words >> w;) names.insert(w);
    return names;
}

// Serial-core ports expose their UART type; 0 means no UART behind the
// placeholder (a ttyS line the driver reserves but that has no hardware).
bool IsPlaceholder(const fs::path& entry)
{
    std::error_code ec;
    if (!fs::exists(entry / "type", ec)) return false;
    const std::string type = ReadFirstLine(entry / "type");
    return type.empty() || std::strtol(type.c_str(), nullptr, 10) == 0;
}

// A USB adapter's product and maker sit in the USB device folder, one or two
// levels above the tty's device folder.
struct TUsbDevice {
    std::string product, manufacturer, vendorId, productId;
};

std::optional<TUsbDevice> UsbDevice(const fs::path& entry, const fs::path& root)
{
    std::error_code ec;
    fs::path dir = fs::canonical(entry / "device", ec);
    if (ec) return std::nullopt;
    const fs::path canonicalRoot = fs::weakly_canonical(root, ec);
    for (int level = 0; level < 4 && !dir.empty() && dir != dir.root_path(); ++level) {
        if (fs::exists(dir / "product", ec))
            return TUsbDevice{ReadFirstLine(dir / "product"), ReadFirstLine(dir / "manufacturer"),
                              ReadFirstLine(dir / "idVendor"), ReadFirstLine(dir / "idProduct")};
        if (dir == canonicalRoot) break;
        dir = dir.parent_path();
    }
    return std::nullopt;
}

// "USB adapter <maker> <product> (<vendor>:<product id>)", "built-in UART"
// for a serial-core port, else the driver's name.
std::string Description(const fs::path& entry, const std::optional<TUsbDevice>& usb)
{
    if (usb) {
        std::string text = "USB adapter";
        for (const std::string* part : {&usb->manufacturer, &usb->product})
            if (!part->empty()) text += " " + *part;
        if (!usb->vendorId.empty()) text += " (" + usb->vendorId + ":" + usb->productId + ")";
        return text;
    }
    std::error_code ec;
    if (fs::exists(entry / "type", ec)) return "built-in UART";
    const fs::path driver = fs::canonical(entry / "device" / "driver", ec);
    return ec ? std::string() : "serial device, driver " + driver.filename().string();
}

// Reading sysfs takes about a millisecond, and probing COM1..COM99 resolves
// 99 numbers in a row: the device list is reused for half a second. Links
// are read afresh each time.
struct TRecentDevices {
    std::mutex mutex;
    std::string root;
    std::chrono::steady_clock::time_point readAt;
    bool valid = false;
    std::vector<TSerialDevice> devices;
};

TRecentDevices& Recent()
{
    static TRecentDevices recent;
    return recent;
}

std::vector<TSerialDevice> RecentDevices(const std::string& sysfsRoot)
{
    TRecentDevices& r = Recent();
    std::lock_guard lock(r.mutex);
    const auto now = std::chrono::steady_clock::now();
    if (!r.valid || sysfsRoot != r.root || now - r.readAt > std::chrono::milliseconds(500)) {
        r.devices = EnumerateSerialDevices(sysfsRoot);
        r.root = sysfsRoot;
        r.readAt = now;
        r.valid = true;
    }
    return r.devices;
}

}  // namespace

std::vector<TSerialDevice> EnumerateSerialDevices(const std::string& sysfsRoot)
{
    const fs::path root = sysfsRoot.empty() ? fs::path("/sys") : fs::path(sysfsRoot);
    const fs::path ttyClass = root / "class" / "tty";
    const std::set<std::string> consoles = ConsoleNames(ttyClass);
    std::vector<TSerialDevice> devices;
    std::error_code ec;
    for (fs::directory_iterator it(ttyClass, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (consoles.count(name)) continue;
        std::error_code e2;
        if (!fs::exists(it->path() / "device" / "driver", e2)) continue;
        if (IsPlaceholder(it->path())) continue;
        const std::optional<TUsbDevice> usb = UsbDevice(it->path(), root);
        devices.push_back({name, "/dev/" + name, usb ? usb->product : "", Description(it->path(), usb)});
    }
    return devices;
}

// The devices under $QUORVEL_SYSFS_ROOT (default /sys).
std::vector<TSerialDevice> SystemSerialDevices()
{
    const char* sysfs = std::getenv("QUORVEL_SYSFS_ROOT");
    return RecentDevices(sysfs && *sysfs ? sysfs : "/sys");
}

void ForgetRecentSerialDevices()
{
    TRecentDevices& r = Recent();
    std::lock_guard lock(r.mutex);
    r.valid = false;
}

std::string DescribeOtherDevice(const std::string& path)
{
    return path.starts_with("/dev/pts/") ? "pseudo-terminal (a simulator's line)" : std::string();
}

// A device node is always named: nothing opens by number alone.
std::string DirectDevicePath(int) { return {}; }

}  // namespace porttable
