// A private port directory for one test: pseudo-terminals linked as COM<n>,
// no real serial device of the machine in sight (an empty sysfs root), and
// helpers to talk from the far side of a pseudo-terminal.
#pragma once

#include "PtyPair.h"
#include "TempFolder.h"
#include "serial/ByteString.h"

#include <chrono>
#include <map>
#include <memory>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

class LinkedPorts {
public:
    LinkedPorts() { folder_.MakeFolder("sys/class/tty"); }

    // A new pseudo-terminal linked as COM<n>; returns its far side.
    PtyPair& Add(int comNumber)
    {
        auto& pty = ptys_[comNumber];
        pty = std::make_unique<PtyPair>();
        folder_.Link("ports/COM" + std::to_string(comNumber), pty->path);
        return *pty;
    }
    // Removes COM<n>: the link goes and the far side closes (the device vanishes).
    void Remove(int comNumber)
    {
        std::filesystem::remove(folder_.path / "ports" / ("COM" + std::to_string(comNumber)));
        ptys_.erase(comNumber);
    }
    PtyPair& operator[](int comNumber) { return *ptys_.at(comNumber); }
    // A real serial device /dev/<name> in the fake sysfs (never opened here).
    void AddDevice(const std::string& name)
    {
        folder_.MakeFolder("sys/devices/" + name + "/driver");
        folder_.Link("sys/class/tty/" + name + "/device", "../../../devices/" + name);
    }
    void RemoveDevice(const std::string& name) { std::filesystem::remove_all(folder_.path / "sys/class/tty" / name); }

private:
    TempFolder folder_;
    ScopedEnv portDir_{"QUORVEL_PORT_DIR", (folder_.path / "ports").string()};
    ScopedEnv sysfs_{"QUORVEL_SYSFS_ROOT", (folder_.path / "sys").string()};
    std::map<int, std::unique_ptr<PtyPair>> ptys_;
};

// Writes bytes from the far side.
inline void WriteFar(const PtyPair& pty, const TByteString& bytes)
{
    if (!bytes.empty() && write(pty.master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("short write to the pseudo-terminal");
}

// Reads what arrived at the far side, waiting up to `wait` for the first
// byte and then until the line stays quiet for 20 ms.
inline TByteString ReadFar(const PtyPair& pty, std::chrono::milliseconds wait = std::chrono::milliseconds(500))
{
    TByteString bytes;
    pollfd p{pty.master, POLLIN, 0};
    int timeout = static_cast<int>(wait.count());
    while (poll(&p, 1, timeout) > 0 && (p.revents & POLLIN)) {
        std::uint8_t buffer[256];
        const ssize_t n = read(pty.master, buffer, sizeof buffer);
        if (n <= 0) break;
        bytes.Append(buffer, static_cast<std::size_t>(n));
        timeout = 20;
    }
    return bytes;
}

// Waits until `ready` holds, checking every millisecond, for at most 2 s.
template <typename Ready>
bool WaitUntil(Ready ready, std::chrono::milliseconds limit = std::chrono::milliseconds(2000))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
