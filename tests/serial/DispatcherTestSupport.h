// Helpers for the dispatcher tests: a dispatcher opened on the device side of
// a real pseudo-terminal pair, and far-side reading and writing.
#pragma once

#include "ByteStream.h"
#include "ProcessCounts.h"
#include "PtyPair.h"
#include "WaitUntil.h"
#include "posix/VeltPosixDispatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <poll.h>
#include <thread>
#include <vector>

namespace dispatchtest {

using Clock = std::chrono::steady_clock;

// Reads exactly `count` bytes, or fewer when `limitMs` passes without data.
inline std::vector<std::uint8_t> ReadFor(int fd, std::size_t count, int limitMs = 5000)
{
    std::vector<std::uint8_t> got;
    std::uint8_t buffer[4096];
    while (got.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, limitMs) <= 0) break;
        const ssize_t n = read(fd, buffer, std::min(sizeof buffer, count - got.size()));
        if (n <= 0) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

// Takes `count` bytes from the dispatcher's input buffer as they come.
inline std::vector<std::uint8_t> TakeFor(TVeltBaseDispatcher& d, std::size_t count, int limitMs = 10000)
{
    std::vector<std::uint8_t> got;
    got.reserve(count);
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (got.size() < count && Clock::now() < end) {
        std::uint8_t b;
        if (d.TakeInput(b) == ecOK)
            got.push_back(b);
        else
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return got;
}

// 19200 baud, even parity, 8 data bits, 1 stop bit, as the program opens.
inline int ActivateDefault(TVeltBaseDispatcher& d, const std::string& path, std::uint32_t outSize = 4096)
{
    return d.Activate(path, 19200, 2, 8, 1, 4096, outSize, true, true);
}

// A pty pair with an activated dispatcher on its device side.
struct DispatcherOnPty : ::testing::Test {
    PtyPair pty;
    std::unique_ptr<TVeltPosixDispatcher> d = std::make_unique<TVeltPosixDispatcher>();

    void SetUp() override { ASSERT_EQ(ActivateDefault(*d, pty.path), ecOK); }
};

}  // namespace dispatchtest
