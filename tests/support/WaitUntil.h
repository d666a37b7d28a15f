// Waits (sleeping, never spinning) until a condition holds.
#pragma once

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

// Checks `ready` every millisecond for at most `limit`; returns whether it held.
template <typename Ready>
bool WaitUntil(Ready ready, std::chrono::milliseconds limit = 5000ms)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}
