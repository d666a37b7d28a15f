// The serial ports from the registry's SERIALCOMM map, which every serial
// driver (built-in UARTs, USB adapters, virtual ports) fills with its COM
// name, and what SetupAPI's class of ports says of each: maker, name and
// hardware ID.
#include "serial/SerialDevices.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <devguid.h>
// clang-format on

#include <map>

namespace porttable {

namespace {

std::string Narrow(const wchar_t* text, std::size_t length)
{
    std::size_t end = 0;
    while (end < length && text[end]) ++end;
    if (end == 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(end), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(end), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

std::string Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    wchar_t text[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(text),
                                           sizeof text - sizeof(wchar_t), nullptr))
        return {};
    return Narrow(text, std::size(text));  // of a list (hardware IDs), the first
}

// "VID_0403&PID_6001" in a hardware ID as "0403:6001", or "".
std::string UsbIds(const std::string& hardwareId)
{
    const std::size_t vid = hardwareId.find("VID_"), pid = hardwareId.find("PID_");
    if (vid == std::string::npos || pid == std::string::npos) return {};
    return hardwareId.substr(vid + 4, 4) + ":" + hardwareId.substr(pid + 4, 4);
}

// What the class of ports says of each present port, by its COM name.
std::map<std::string, std::string> PortDescriptions()
{
    std::map<std::string, std::string> descriptions;
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return descriptions;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        wchar_t name[64] = {};
        DWORD bytes = sizeof name - sizeof(wchar_t);
        DWORD type = 0;
        const bool named = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &bytes) ==
                               ERROR_SUCCESS &&
                           type == REG_SZ;
        RegCloseKey(key);
        if (!named) continue;
        const std::string hardwareId = Property(set, device, SPDRP_HARDWAREID);
        const std::string maker = Property(set, device, SPDRP_MFG);
        const std::string friendly = Property(set, device, SPDRP_FRIENDLYNAME);
        const std::string ids = UsbIds(hardwareId);
        std::string text;
        if (!ids.empty())
            text = "USB adapter " + maker + (maker.empty() ? "" : " ") + friendly + " (" + ids + ")";
        else if (hardwareId.find("PNP0501") != std::string::npos)
            text = "built-in UART";
        else
            text = friendly.empty() ? maker : friendly;
        descriptions[Narrow(name, std::size(name))] = text;
    }
    SetupDiDestroyDeviceInfoList(set);
    return descriptions;
}

// What the driver's device name says when SetupAPI says nothing.
std::string DriverDescription(const std::string& driverDevice)
{
    if (driverDevice.starts_with("\\Device\\Serial")) return "built-in UART";
    for (const char* usb : {"VCP", "USBSER", "Silabser", "ProlificSerial", "CH341"})
        if (driverDevice.find(usb) != std::string::npos) return "USB adapter";
    return {};
}

}  // namespace

std::vector<TSerialDevice> SystemSerialDevices()
{
    std::vector<TSerialDevice> devices;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return devices;
    const std::map<std::string, std::string> described = PortDescriptions();
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t data[64];
        DWORD nameLength = static_cast<DWORD>(std::size(name));
        DWORD dataBytes = sizeof data;
        DWORD type = 0;
        const LONG result =
            RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        const std::string com = Narrow(data, dataBytes / sizeof(wchar_t));
        // The value's name is the driver's device ("\Device\Serial0", "\Device\VCP0").
        const std::string driverDevice = Narrow(name, nameLength);
        const auto found = described.find(com);
        devices.push_back(
            {com, "\\\\.\\" + com, driverDevice,
             found != described.end() && !found->second.empty() ? found->second : DriverDescription(driverDevice)});
    }
    RegCloseKey(key);
    return devices;
}

std::string DescribeOtherDevice(const std::string&) { return {}; }

void ForgetRecentSerialDevices() {}

std::string DirectDevicePath(int comNumber) { return "\\\\.\\COM" + std::to_string(comNumber); }

}  // namespace porttable
