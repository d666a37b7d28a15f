#include "serial/FileSync.h"

#include "serial/SystemInfo.h"

#include <filesystem>
#include <windows.h>

namespace filesync {

bool Sync(const std::string& path, std::string& error)
{
    // NTFS journals a folder's entries itself, and a folder cannot be
    // flushed through a handle: only files are.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return true;
    const HANDLE file = CreateFileW(std::filesystem::path(path).wstring().c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemErrorDescription(static_cast<int>(GetLastError()));
        return false;
    }
    const bool synced = FlushFileBuffers(file) != 0;
    if (!synced) error = SystemErrorDescription(static_cast<int>(GetLastError()));
    CloseHandle(file);
    return synced;
}

}  // namespace filesync
