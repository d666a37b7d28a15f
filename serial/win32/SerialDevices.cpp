// The serial ports from the registry's SERIALCOMM map, which every serial
// driver (built-in UARTs, USB adapters, virtual ports) fills with its COM name.
#include "serial/SerialDevices.h"

#include <windows.h>

namespace porttable {

namespace {

std::string Narrow(const wchar_t* text, std::size_t length)
{
    std::string narrow;
    for (std::size_t i = 0; i < length && text[i]; ++i) narrow += text[i] < 128 ? static_cast<char>(text[i]) : '?';
    return narrow;
}

}  // namespace

std::vector<TSerialDevice> SystemSerialDevices()
{
    std::vector<TSerialDevice> devices;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return devices;
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
        devices.push_back({com, "\\\\.\\" + com, Narrow(name, nameLength)});
    }
    RegCloseKey(key);
    return devices;
}

void ForgetRecentSerialDevices() {}

std::string DirectDevicePath(int comNumber) { return "\\\\.\\COM" + std::to_string(comNumber); }

}  // namespace porttable
