// What a test process holds right now: its threads and open descriptors, to
// show that an operation leaves nothing behind; and its CPU time, to show
// that nothing spins.
#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

inline int CountEntries(const char* folder)
{
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

// Under ThreadSanitizer the runtime adds a helper thread when the program
// creates its first thread; one thread made and ended first keeps counts
// taken before and after comparable.
inline int ThreadCount()
{
    static const bool runtimeStarted = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)runtimeStarted;
    return CountEntries("/proc/self/task");
}
// The thread count once it reaches `expected`, or as it is after a second.
// A joined thread leaves the kernel's task list a moment after the join
// returns, so a count taken at once can still include it.
inline int ThreadCountSettlingAt(int expected)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    int n = ThreadCount();
    while (n != expected && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        n = ThreadCount();
    }
    return n;
}
inline int DescriptorCount() { return CountEntries("/proc/self/fd"); }

inline std::chrono::microseconds ProcessCpuTime()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::microseconds(ts.tv_nsec / 1000);
}
inline double ProcessCpuSeconds() { return std::chrono::duration<double>(ProcessCpuTime()).count(); }
