// Figures of the serial dispatcher on one pseudo-terminal pair, side by side:
//   throughput  bytes from the far side taken out of the dispatcher, against
//               a bare poll()/read() loop on the same device;
//               bytes queued into the dispatcher, against a bare
//               poll()/write() loop;
//   latency     a byte written on the far side until HasInput is true;
//   idle CPU    an activated dispatcher with nothing to do, all three threads.
// Usage: quorvel-bench-dispatcher [idle seconds (10)] [megabytes (64)]
#include "PtyPair.h"
#include "posix/VeltPosixDispatcher.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void WriteAll(int fd, const std::uint8_t* bytes, std::size_t count)
{
    while (count > 0) {
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, -1);
        const ssize_t n = write(fd, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<std::size_t>(n);
        }
    }
}

void ReadAll(int fd, std::size_t count)
{
    std::vector<std::uint8_t> buffer(65536);
    while (count > 0) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, -1);
        const ssize_t n = read(fd, buffer.data(), std::min(buffer.size(), count));
        if (n > 0) count -= static_cast<std::size_t>(n);
    }
}

int OpenRaw(const std::string& path)
{
    return open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

// Far side writes `total` bytes; the device side reads them with a bare loop.
double BareReceive(PtyPair& pty, std::size_t total)
{
    const int fd = OpenRaw(pty.path);
    const std::vector<std::uint8_t> data(total, 0x5A);
    const auto start = Clock::now();
    std::thread far([&] { WriteAll(pty.master, data.data(), data.size()); });
    ReadAll(fd, total);
    const double s = Seconds(Clock::now() - start);
    far.join();
    close(fd);
    return total / s / 1e6;
}

// The same through the dispatcher: its threads fill the input buffer, the
// caller takes the bytes out. A data-available handler wakes the caller, as
// poll() wakes the bare loop.
double DispatcherReceive(PtyPair& pty, std::size_t total)
{
    TVeltPosixDispatcher d;
    if (d.Activate(pty.path, 19200, 2, 8, 1, 4096, 4096, true, true) != ecOK) return 0;
    TVeltEvent arrived(TVeltEvent::Reset::Auto);
    d.SetAvailThreshold(1);
    d.AddNotifyProc([&](unsigned, unsigned, unsigned) { arrived.Set(); });
    const std::vector<std::uint8_t> data(total, 0x5A);
    std::vector<std::uint8_t> buffer(8192);
    const auto start = Clock::now();
    std::thread far([&] { WriteAll(pty.master, data.data(), data.size()); });
    std::size_t got = 0;
    while (got < total) {
        const std::size_t n = d.TakeInputBlock(buffer.data(), buffer.size());
        got += n;
        if (n == 0) arrived.Wait(50);
    }
    const double s = Seconds(Clock::now() - start);
    far.join();
    return total / s / 1e6;
}

double BareSend(PtyPair& pty, std::size_t total, std::size_t block)
{
    const int fd = OpenRaw(pty.path);
    const std::vector<std::uint8_t> data(block, 0xA5);
    const auto start = Clock::now();
    std::thread far([&] { ReadAll(pty.master, total); });
    for (std::size_t sent = 0; sent < total; sent += block) WriteAll(fd, data.data(), block);
    far.join();
    const double s = Seconds(Clock::now() - start);
    close(fd);
    return total / s / 1e6;
}

double DispatcherSend(PtyPair& pty, std::size_t total, std::size_t block)
{
    TVeltPosixDispatcher d;
    if (d.Activate(pty.path, 19200, 2, 8, 1, 4096, 4096, true, true) != ecOK) return 0;
    const std::vector<std::uint8_t> data(block, 0xA5);
    const auto start = Clock::now();
    std::thread far([&] { ReadAll(pty.master, total); });
    for (std::size_t sent = 0; sent < total;) {
        if (d.QueueBlock(data.data(), block) == ecOK) sent += block;
        else std::this_thread::yield();  // no wait for output room in the interface
    }
    far.join();
    const double s = Seconds(Clock::now() - start);
    return total / s / 1e6;
}

void Latency(PtyPair& pty)
{
    TVeltPosixDispatcher d;
    if (d.Activate(pty.path, 19200, 2, 8, 1, 4096, 4096, true, true) != ecOK) return;
    std::vector<double> samples;
    for (int i = 0; i < 300; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2 + i % 7));  // off the 50 ms rhythm
        const std::uint8_t b = static_cast<std::uint8_t>(i);
        const auto start = Clock::now();
        WriteAll(pty.master, &b, 1);
        // Looked at every ~20 us: spinning on the lock would slow the dispatch thread.
        while (!d.HasInput() && Clock::now() - start < std::chrono::milliseconds(200))
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        samples.push_back(Seconds(Clock::now() - start) * 1000);
        std::uint8_t taken;
        while (d.TakeInput(taken) == ecOK) {}
    }
    std::sort(samples.begin(), samples.end());
    std::printf("latency far-side write -> HasInput (%zu samples): median %.3f ms, p90 %.3f ms, max %.3f ms"
                "   goal: median <= 1 ms\n",
                samples.size(), samples[samples.size() / 2], samples[samples.size() * 9 / 10], samples.back());
}

void IdleCpu(PtyPair& pty, int seconds)
{
    TVeltPosixDispatcher d;
    if (d.Activate(pty.path, 19200, 2, 8, 1, 4096, 4096, true, true) != ecOK) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double cpu0 = ProcessCpuSeconds();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall = Seconds(Clock::now() - start);
    std::printf("idle activated dispatcher, 3 threads, %.1f s: CPU %.2f ms = %.4f %% of one core"
                "   goal: <= 0.2 %%\n",
                wall, cpu * 1000, 100 * cpu / wall);
}

}  // namespace

int main(int argc, char** argv)
{
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const std::size_t total = (argc > 2 ? std::atoi(argv[2]) : 64) * std::size_t(1) << 20;
    PtyPair pty;

    std::printf("quorvel-bench-dispatcher: one pseudo-terminal pair, %zu MB per throughput run\n", total >> 20);
    const double bareIn = BareReceive(pty, total);
    const double dispIn = DispatcherReceive(pty, total);
    std::printf("receive  bare poll/read %8.1f MB/s   dispatcher %8.1f MB/s   ratio %.2f   goal: >= 0.9\n", bareIn,
                dispIn, dispIn / bareIn);
    for (std::size_t block : {std::size_t(255), std::size_t(4096)}) {
        const double bareOut = BareSend(pty, total, block);
        const double dispOut = DispatcherSend(pty, total, block);
        std::printf("send %4zu-byte blocks: bare poll/write %8.1f MB/s   dispatcher %8.1f MB/s   ratio %.2f\n", block,
                    bareOut, dispOut, dispOut / bareOut);
    }
    Latency(pty);
    IdleCpu(pty, idleSeconds);
    return 0;
}
