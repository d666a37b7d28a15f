// Figures of the windowed program against quorvel-slave: time from start to
// the window shown (with the COM1..COM99 scan), CPU time per second and peak
// memory while connected, and commands per second through the command
// channel with a queue of 100. Prints figures; asserts nothing.
//   quorvel-bench-app [modules] [seconds of connected load]
#include "bench/BenchUsage.h"
#include "tests/support/AppEnvironment.h"
#include "app/MainForm.h"
#include "tests/support/ProcessCounts.h"
#include "tests/support/QtTestSupport.h"
#include "dp/Profi_dp.h"
#include "serial/VeltPort.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

constexpr const char* Usage = R"(Usage: quorvel-bench-app [MODULES [SECONDS]]
Figures of the window against quorvel-slave: time to the window shown, CPU
and peak memory while connected, commands per second.
  MODULES  weighing modules of the simulated slave, 1 to 8 (default 8)
  SECONDS  seconds of connected load (default 10)
)";

int main(int argc, char** argv)
{
    if (const auto status = BenchUsage(argc, argv, 2, Usage)) return *status;
    QElapsedTimer sinceStart;
    sinceStart.start();
    const int modules = argc > 1 ? std::atoi(argv[1]) : 8;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

    TTempTree tree;  // private port folder; the machine's own serial devices stay in the scan
    unsetenv("QUORVEL_SYSFS_ROOT");
    TSlaveProcess slave(modules);
    const qint64 slaveReady = sinceStart.elapsed();

    QApplication app(argc, argv);
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
    QElapsedTimer toShown;
    toShown.start();
    TForm1 form;
    form.show();
    WaitFor([&] { return form.windowHandle() && form.windowHandle()->isExposed(); }, 5000);
    Pump(1);
    std::printf(
        "start to window shown (scan of COM1..COM99 included): %lld ms (process start: %lld ms, "
        "less %lld ms for starting the simulator)\n",
        static_cast<long long>(toShown.elapsed()), static_cast<long long>(sinceStart.elapsed()),
        static_cast<long long>(slaveReady));

    Choose(form.cbxNumWZMs, modules);
    QElapsedTimer toConnected;
    toConnected.start();
    form.StartButton->click();
    if (!WaitFor([&] { return form.edbxCommStatus->text() == "Connected"; }, 5000)) {
        std::printf("not connected: %s\n", form.edbxCommStatus->text().toLocal8Bit().constData());
        return 1;
    }
    std::printf("Start to \"Connected\": %lld ms\n", static_cast<long long>(toConnected.elapsed()));

    const double cpuBefore = ProcessCpuSeconds();
    QElapsedTimer loaded;
    loaded.start();
    Pump(seconds * 1000);
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    std::printf(
        "connected with %d modules for %.1f s: CPU %.1f ms per second (%.2f %% of one core), "
        "%u telegrams received\n",
        modules, loaded.elapsed() / 1000.0, cpu * 1000.0 / (loaded.elapsed() / 1000.0),
        cpu * 100.0 / (loaded.elapsed() / 1000.0), form.ShownCount);

    int answered = 0;
    QObject::connect(&form, &TForm1::CommandEnded, [&](const TCommandResult& r) { answered += r.givenUp ? 0 : 1; });
    QElapsedTimer channel;
    channel.start();
    for (int i = 0; i < 100; ++i) form.QueueCommand(0, {0x10, static_cast<std::uint8_t>(i)});
    WaitFor([&] { return answered >= 100; }, 120000);
    std::printf("100 queued commands: %d answered in %.2f s, %.2f commands per second\n", answered,
                channel.elapsed() / 1000.0, answered * 1000.0 / static_cast<double>(channel.elapsed()));
    std::printf("peak memory (max RSS): %ld kB\n", PeakKilobytes());
    return 0;
}
