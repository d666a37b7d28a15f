// Internal to the dispatcher: the trace and log buffers, the notification
// handlers and the state of the avail mode.
//
// While a notification runs, reads made by the handler it calls are
// tentative: they peek at the bytes from the tail on, counting, and when all
// handlers have run the tail advances by the largest count any handler
// reached. Reads by any other thread in that time consume for real, taking
// the first byte no handler has looked at yet, so no byte is delivered twice
// and none is lost.
#pragma once

#include "VeltDispatch.h"
#include "VeltNotify.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <thread>
#include <utility>
#include <vector>

struct TVeltBaseDispatcher::TTraceBuffer {
    std::vector<std::uint8_t> entries;  // direction, byte; circular
    std::size_t write = 0;
    bool wrapped = false;
    bool paused = false;
};

struct TVeltBaseDispatcher::TLogBuffer {
    struct TEntry {
        int kind;
        int subKind;
        std::uint32_t timeMs;
        std::uint32_t value;
        std::vector<std::uint8_t> data;
    };
    static constexpr std::size_t HeaderBytes = 16;  // kind, sub-kind, time, value, length
    std::size_t size = 0;
    std::size_t used = 0;
    std::deque<TEntry> entries;
    bool paused = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

struct TVeltBaseDispatcher::TNotifyState {
    std::vector<std::pair<int, TNotifyProc>> procs;
    int nextProcId = 1;
    std::vector<TVeltNotifyWindow*> windows;
    bool componentHandler = false;
    bool serviceNeeded = false;
    // Counts changes of the lists above; the dispatch thread's copies of them
    // are made again only after a change, so a notification allocates nothing.
    std::uint64_t listVersion = 0;
    std::uint64_t copiedVersion = ~std::uint64_t{0};
    std::vector<TNotifyProc> procsCopy;  // dispatch thread only
    std::vector<TVeltNotifyWindow*> windowsCopy;
    // Ends a wait for a notification window when the threads stop.
    TVeltNotifyWindow::TSendStop sendStop;

    // Avail mode (InputLock): the running notification's number, the count
    // of the handler now running, the largest count reached, and how far
    // handlers may read (input keeps arriving while they run).
    std::uint64_t generation = 0;
    bool active = false;
    std::uint32_t readCounter = 0;
    std::uint32_t maxCounter = 0;
    std::uint32_t announced = 0;  // the input the running notification announced
};

// Which notification the current thread's handler belongs to.
struct TNotifyContext {
    const TVeltBaseDispatcher* dispatcher = nullptr;
    std::uint64_t generation = 0;
};
extern thread_local TNotifyContext CurrentNotifyContext;
