#include "PortTable.h"

#include "PortDirectory.h"
#include "base/ComName.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>
#include <tuple>

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

// A USB adapter's product name sits in the USB device folder, one or two
// levels above the tty's device folder.
std::string UsbProduct(const fs::path& entry, const fs::path& root)
{
    std::error_code ec;
    fs::path dir = fs::canonical(entry / "device", ec);
    if (ec) return {};
    const fs::path canonicalRoot = fs::weakly_canonical(root, ec);
    for (int level = 0; level < 4 && !dir.empty() && dir != dir.root_path(); ++level) {
        if (fs::exists(dir / "product", ec)) return ReadFirstLine(dir / "product");
        if (dir == canonicalRoot) break;
        dir = dir.parent_path();
    }
    return {};
}

// Sort key: family rank, then the name without digits, then the trailing number.
std::tuple<int, std::string, long> OrderKey(const std::string& name)
{
    static const char* const families[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"};
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    const std::string stem = name.substr(0, digits);
    const long number = digits < name.size() ? std::strtol(name.c_str() + digits, nullptr, 10) : -1;
    int rank = 4;
    for (int i = 0; i < 4; ++i)
        if (stem == families[i]) rank = i;
    return {rank, stem, number};
}

// Reading sysfs takes about a millisecond, and probing COM1..COM99 resolves
// 99 numbers in a row: the device list is reused for half a second. Links
// are read afresh each time.
std::vector<TSerialDevice> RecentSerialDevices(const std::string& sysfsRoot)
{
    using Clock = std::chrono::steady_clock;
    static std::mutex mutex;
    static std::string root;
    static Clock::time_point readAt;
    static std::vector<TSerialDevice> devices;
    std::lock_guard lock(mutex);
    if (sysfsRoot != root || Clock::now() - readAt > std::chrono::milliseconds(500)) {
        devices = EnumerateSerialDevices(sysfsRoot);
        root = sysfsRoot;
        readAt = Clock::now();
    }
    return devices;
}

std::string Canonical(const std::string& path)
{
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(path, ec);
    return ec ? path : p.string();
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
        devices.push_back({name, "/dev/" + name, UsbProduct(it->path(), root)});
    }
    std::sort(devices.begin(), devices.end(),
              [](const TSerialDevice& a, const TSerialDevice& b) { return OrderKey(a.name) < OrderKey(b.name); });
    return devices;
}

std::map<int, std::string> ReadPortLinks(const std::string& folder)
{
    std::map<int, std::string> links;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const auto number = ParseComName(name);
        std::error_code e2;
        if (!number || !fs::is_symlink(it->symlink_status(e2))) continue;
        const int n = *number;
        fs::path target = fs::read_symlink(it->path(), e2);
        if (e2) continue;
        if (target.is_relative()) target = fs::path(folder) / target;
        links[n] = target.lexically_normal().string();
    }
    return links;
}

std::vector<TPortEntry> BuildPortTable(const std::string& folder, const std::map<int, std::string>& links,
                                       const std::vector<TSerialDevice>& devices)
{
    std::vector<TPortEntry> table;
    std::set<std::string> linked;
    for (const auto& [n, target] : links) {
        table.push_back({n, (fs::path(folder) / ComName(n)).string(), target, {}, true});
        linked.insert(Canonical(target));
    }
    int next = 1;
    for (const TSerialDevice& d : devices) {
        if (linked.count(Canonical(d.path))) continue;
        while (links.count(next)) ++next;
        table.push_back({next, d.path, d.path, d.product, false});
        ++next;
    }
    std::sort(table.begin(), table.end(),
              [](const TPortEntry& a, const TPortEntry& b) { return a.comNumber < b.comNumber; });
    return table;
}

std::vector<TPortEntry> CurrentPortTable(std::string& message)
{
    message.clear();
    std::map<int, std::string> links;
    const std::string folder = portdir::Path();
    if (portdir::Ensure(message)) links = ReadPortLinks(folder);
    const char* sysfs = std::getenv("QUORVEL_SYSFS_ROOT");
    return BuildPortTable(folder, links, RecentSerialDevices(sysfs && *sysfs ? sysfs : "/sys"));
}

std::string ResolveComPort(int comNumber)
{
    std::string message;
    for (const TPortEntry& e : CurrentPortTable(message))
        if (e.comNumber == comNumber) return e.path;
    return {};
}

std::string Describe(const TPortEntry& entry)
{
    return entry.product.empty() ? entry.device : entry.device + " (" + entry.product + ")";
}

}  // namespace porttable
