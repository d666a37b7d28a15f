// Figures for the port component, printed, not asserted:
//   1. the time to probe COM1..COM99 (what the program does at every start),
//      with two pseudo-terminals linked and this machine's own sysfs;
//   2. throughput in each direction through WriteString / InputAvailable /
//      ReadByte against a bare poll()/read()/write() loop on the same
//      pseudo-terminal pair, in one run (the receiving side is woken by the
//      port's avail trigger through the notification queue);
//   3. latency from a byte written on the far side to InputAvailable;
//   4. CPU time of an open, idle port.
// Usage: port_component_bench [megabytes per direction, default 4]
#include "bench/BenchUsage.h"
#include "tests/support/ByteStream.h"
#include "serial/PortTable.h"
#include "tests/support/ProcessCounts.h"
#include "tests/support/PtyPair.h"
#include "serial/VeltDispatch.h"
#include "serial/VeltEvent.h"
#include "serial/VeltExcept.h"
#include "serial/VeltPort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Reads exactly n bytes; returns false when the data differ from `expected`.
bool ReadAll(int fd, const std::vector<std::uint8_t>& expected)
{
    std::vector<std::uint8_t> buffer(65536);
    std::size_t got = 0;
    bool same = true;
    while (got < expected.size()) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, -1);
        const ssize_t r = read(fd, buffer.data(), std::min(buffer.size(), expected.size() - got));
        if (r <= 0) continue;
        same = same && std::memcmp(buffer.data(), expected.data() + got, static_cast<std::size_t>(r)) == 0;
        got += static_cast<std::size_t>(r);
    }
    return same;
}

double MBps(std::size_t bytes, Clock::duration d) { return static_cast<double>(bytes) / 1e6 / Seconds(d); }

// ---- 1. Probing ----
void ProbeFigure()
{
    PtyPair a, b;
    const std::string dir = std::getenv("QUORVEL_PORT_DIR");
    std::filesystem::create_symlink(a.path, dir + "/COM2");
    std::filesystem::create_symlink(b.path, dir + "/COM5");
    std::string message;
    const auto table = porttable::CurrentPortTable(message);
    std::vector<double> runs;
    int opened = 0;
    for (int run = 0; run < 5; ++run) {
        opened = 0;
        TVeltComPort port;
        port.SetPromptForPort(false);
        const auto start = Clock::now();
        for (int n = 1; n <= 99; ++n) {
            port.SetComNumber(static_cast<std::uint16_t>(n));
            try {
                port.OpenPort();
                ++opened;
                port.ClosePort();
            } catch (const std::exception&) {
            }
        }
        runs.push_back(Seconds(Clock::now() - start) * 1000);
    }
    std::sort(runs.begin(), runs.end());
    std::printf("probe COM1..COM99: %zu ports in the table (%zu from this machine's sysfs), %d opened\n", table.size(),
                table.size() - 2, opened);
    std::printf("  median %.1f ms, best %.1f ms, worst %.1f ms over %zu runs\n", runs[runs.size() / 2], runs.front(),
                runs.back(), runs.size());
    std::filesystem::remove(dir + "/COM2");
    std::filesystem::remove(dir + "/COM5");
}

// ---- 2. Throughput ----
struct Throughput {
    double in = 0, out = 0;
    bool intact = true;
};

Throughput BareLoop(PtyPair& pty, const std::vector<std::uint8_t>& data)
{
    const int fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    Throughput t;
    auto start = Clock::now();
    std::thread far([&] { WriteAll(pty.master, data.data(), data.size()); });
    t.intact = ReadAll(fd, data);
    far.join();
    t.in = MBps(data.size(), Clock::now() - start);

    start = Clock::now();
    bool farIntact = true;
    std::thread reader([&] { farIntact = ReadAll(pty.master, data); });
    for (std::size_t sent = 0; sent < data.size(); sent += TByteString::MaxLength)  // WriteString's block size
        WriteAll(fd, data.data() + sent, std::min<std::size_t>(TByteString::MaxLength, data.size() - sent));
    reader.join();
    t.out = MBps(data.size(), Clock::now() - start);
    t.intact = t.intact && farIntact;
    close(fd);
    return t;
}

Throughput ThroughComponent(PtyPair& pty, const std::vector<std::uint8_t>& data)
{
    TVeltComPort port;
    port.SetComNumber(1);
    port.OpenPort();
    Throughput t;

    // Far side -> ReadByte, woken as the application is: an avail trigger
    // handler run from the notification queue, whose arrival wakes the loop.
    TVeltEvent queued(TVeltEvent::Reset::Auto);
    TVeltCustomComPort::SetOnNotificationQueued([&] { queued.Set(); });
    port.SetOnTriggerAvail([](TVeltCustomComPort&, unsigned) {});
    auto start = Clock::now();
    std::thread far([&] { WriteAll(pty.master, data.data(), data.size()); });
    for (std::size_t got = 0; got < data.size();) {
        TVeltCustomComPort::RunPendingNotifications();
        if (!port.InputAvailable()) {
            queued.Wait(50);
            continue;
        }
        while (got < data.size() && port.InputAvailable()) t.intact = (port.ReadByte() == data[got++]) && t.intact;
    }
    far.join();
    t.in = MBps(data.size(), Clock::now() - start);
    port.SetOnTriggerAvail(nullptr);
    TVeltCustomComPort::RunPendingNotifications();
    TVeltCustomComPort::SetOnNotificationQueued(nullptr);

    // WriteString -> far side, 255-byte strings queued while there is room.
    start = Clock::now();
    bool farIntact = true;
    std::thread reader([&] { farIntact = ReadAll(pty.master, data); });
    for (std::size_t sent = 0; sent < data.size();) {
        const std::size_t n = std::min<std::size_t>(TByteString::MaxLength, data.size() - sent);
        if (port.OutSize() - port.Dispatcher()->OutputUsed() < n) {
            std::this_thread::yield();  // the interface has no wait for output room
            continue;
        }
        port.WriteString(TByteString(data.data() + sent, n));
        sent += n;
    }
    reader.join();
    t.out = MBps(data.size(), Clock::now() - start);
    t.intact = t.intact && farIntact;
    return t;
}

// ---- 3. Latency ----
std::pair<double, double> LatencyMs(PtyPair& pty, bool component)
{
    TVeltComPort port;
    int fd = -1;
    if (component) {
        port.SetComNumber(1);
        port.OpenPort();
    } else {
        fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    std::vector<double> samples;
    for (int i = 0; i < 200; ++i) {
        const std::uint8_t b = static_cast<std::uint8_t>(i);
        const auto start = Clock::now();
        (void)!write(pty.master, &b, 1);
        if (component) {
            while (!port.InputAvailable()) std::this_thread::yield();
            port.ReadByte();
        } else {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, -1);
            std::uint8_t c;
            (void)!read(fd, &c, 1);
        }
        samples.push_back(Seconds(Clock::now() - start) * 1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (fd >= 0) close(fd);
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

// ---- 4. Idle CPU ----
double IdleCpuPercent(double seconds)
{
    TVeltComPort port;
    port.SetComNumber(1);
    port.OpenPort();
    const double cpu = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return (ProcessCpuSeconds() - cpu) / seconds * 100;
}

}  // namespace

constexpr const char* Usage = R"(Usage: port_component_bench [MEGABYTES]
Figures of the port component: probing COM1..COM99, throughput against a
bare loop, input latency, idle CPU.
  MEGABYTES  megabytes per direction (default 4)
)";

int main(int argc, char** argv)
{
    if (const auto status = BenchUsage(argc, argv, 1, Usage)) return *status;
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4;
    char dir[] = "/tmp/quorvel-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    setenv("QUORVEL_PORT_DIR", dir, 1);

    try {
        ProbeFigure();

        // The remaining figures use COM1 only, without the machine's devices.
        const std::string noSysfs = std::string(dir) + "/nosys";
        setenv("QUORVEL_SYSFS_ROOT", noSysfs.c_str(), 1);
        PtyPair pty;
        std::filesystem::create_symlink(pty.path, std::string(dir) + "/COM1");

        const auto data = Pattern(megabytes * 1000 * 1000);
        const Throughput bare = BareLoop(pty, data);
        const Throughput comp = ThroughComponent(pty, data);
        std::printf("throughput, %zu MB each way on one pseudo-terminal pair:\n", megabytes);
        std::printf("  far side -> program: bare loop %.1f MB/s, component ReadByte %.1f MB/s, ratio %.2f\n", bare.in,
                    comp.in, comp.in / bare.in);
        std::printf(
            "  program -> far side, 255-byte blocks: bare loop %.1f MB/s, component WriteString %.1f MB/s, "
            "ratio %.2f\n",
            bare.out, comp.out, comp.out / bare.out);
        std::printf("  data intact: bare %s, component %s\n", bare.intact ? "yes" : "NO", comp.intact ? "yes" : "NO");

        const auto bareLatency = LatencyMs(pty, false);
        const auto compLatency = LatencyMs(pty, true);
        std::printf(
            "latency far-side write -> readable (200 bytes): bare poll() median %.3f ms (p99 %.3f), "
            "component InputAvailable median %.3f ms (p99 %.3f)\n",
            bareLatency.first, bareLatency.second, compLatency.first, compLatency.second);

        const double idle = IdleCpuPercent(5.0);
        std::printf("CPU of an open, idle port over 5 s: %.3f %% of one core\n", idle);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench failed: %s\n", e.what());
        std::filesystem::remove_all(dir);
        return 1;
    }
    std::filesystem::remove_all(dir);
    return 0;
}
