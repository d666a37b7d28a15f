#include "serial/SystemInfo.h"

#include <cstdio>
#include <filesystem>
#include <windows.h>

namespace {

// The version the system reports of itself (GetVersionEx answers what the
// program's manifest claims, so it is asked of ntdll directly).
bool ReadVersion(RTL_OSVERSIONINFOW& info)
{
    using TGetVersion = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return false;
    const auto get = reinterpret_cast<TGetVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    info.dwOSVersionInfoSize = sizeof info;
    return get && get(&info) == 0;
}

}  // namespace

std::string OperatingSystemName()
{
    RTL_OSVERSIONINFOW info{};
    if (!ReadVersion(info)) return "Windows";
    return "Windows " + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
           std::to_string(info.dwBuildNumber);
}

std::string HostName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size) || size == 0) return "unknown";
    return std::string(name, size);
}

std::string SystemErrorDescription(int code)
{
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    if (length == 0 || !text) return {};
    std::string description(text, length);
    LocalFree(text);
    // The system's texts end in ".\r\n"; the callers add their own punctuation.
    while (!description.empty() && (description.back() == '\n' || description.back() == '\r' ||
                                    description.back() == ' ' || description.back() == '.'))
        description.pop_back();
    return description;
}

bool StandardErrorIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::string ProgramFolder()
{
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    if (length == 0 || length >= std::size(path)) return {};
    return std::filesystem::path(std::wstring(path, length)).parent_path().string();
}

void UseParentConsole()
{
    if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_UNKNOWN) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::FILE* ignored = nullptr;
    freopen_s(&ignored, "CONOUT$", "w", stdout);
    freopen_s(&ignored, "CONOUT$", "w", stderr);
}

void MarkProgramRunning()
{
    // The name packaging/windows/quorvel.nsi looks for. The handle stays open
    // on purpose: the system closes it when the process ends, however it ends.
    static const HANDLE running = CreateMutexW(nullptr, FALSE, L"QuorvelRunning");
    (void)running;
}

bool LocalCalendarTime(std::time_t time, std::tm& local) { return localtime_s(&local, &time) == 0; }
