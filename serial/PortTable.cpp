#include "PortTable.h"

#include "PortDirectory.h"
#include "base/ComName.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace porttable {

namespace {

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

std::string Canonical(const std::string& path)
{
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(path, ec);
    return ec ? path : p.string();
}

}  // namespace

std::vector<TSerialDevice> SortDevices(std::vector<TSerialDevice> devices)
{
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
        const std::string device = Canonical(target);
        const auto listed = std::find_if(devices.begin(), devices.end(),
                                         [&device](const TSerialDevice& d) { return Canonical(d.path) == device; });
        table.push_back({n, (fs::path(folder) / ComName(n)).string(), target,
                         listed != devices.end() ? listed->product : std::string(), true,
                         listed != devices.end() ? listed->description : DescribeOtherDevice(device)});
        linked.insert(device);
    }
    // A device the system names COM<n> itself (Windows) keeps its number;
    // the others are numbered from COM1 up around those taken.
    std::set<int> taken;
    for (const auto& [n, target] : links) taken.insert(n);
    for (const TSerialDevice& d : devices)
        if (const auto own = ParseComName(d.name); own && !taken.count(*own)) {
            taken.insert(*own);
            table.push_back({*own, d.path, d.path, d.product, false, d.description});
        }
    int next = 1;
    for (const TSerialDevice& d : devices) {
        if (linked.count(Canonical(d.path)) || ParseComName(d.name)) continue;
        while (taken.count(next)) ++next;
        table.push_back({next, d.path, d.path, d.product, false, d.description});
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
    return BuildPortTable(folder, links, SortDevices(SystemSerialDevices()));
}

std::string ResolveComPort(int comNumber)
{
    std::string message;
    for (const TPortEntry& e : CurrentPortTable(message))
        if (e.comNumber == comNumber) return e.path;
    return DirectDevicePath(comNumber);
}

std::string ListLine(const TPortEntry& entry)
{
    const std::string where = entry.isLink ? entry.path + " -> " + entry.device : entry.device;
    return ComName(entry.comNumber) + " " + where + (entry.description.empty() ? "" : ": " + entry.description);
}

std::string NoSuchPort(int comNumber, const std::vector<TPortEntry>& table)
{
    const std::string name = ComName(comNumber);
    std::string others;
    for (const TPortEntry& e : table) {
        if (e.comNumber == comNumber)
            return name + " does not exist: " + e.path + " points to " + e.device + ", which is not there";
        others += (others.empty() ? "" : ", ") + ComName(e.comNumber) + " (" +
                  (e.isLink ? "link to " + e.device : e.device) + ")";
    }
    return name + " does not exist; " + (others.empty() ? "there is no COM port" : "the ports are " + others);
}

std::string Describe(const TPortEntry& entry)
{
    return entry.product.empty() ? entry.device : entry.device + " (" + entry.product + ")";
}

}  // namespace porttable
