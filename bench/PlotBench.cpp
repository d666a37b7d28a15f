// Figures of the weight plot. First the windowed program against
// quorvel-slave at the standard cycle (10 per second): CPU per second with
// the plot closed, open on one module and open on all modules, side by side
// in rounds. Then ten minutes of synthetic values (10 per second for each
// module) fed through the plot's history and window in accelerated time,
// with the memory in use after minute 1, 5 and 10. Prints figures; asserts nothing.
//   quorvel-bench-plot [modules] [seconds per phase] [rounds] [memory figures: 1, or 0 to skip]
#include "bench/BenchUsage.h"
#include "tests/support/AppEnvironment.h"
#include "app/MainForm.h"
#include "tests/support/ProcessCounts.h"
#include "tests/support/QtTestSupport.h"
#include "app/ViewControl.h"
#include "app/WeightPlot.h"
#include "serial/VeltPort.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

long ResidentKilobytes()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// CPU milliseconds per second of wall time while the event loop runs for `seconds`.
double CpuPerSecond(int seconds)
{
    const double before = ProcessCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    Pump(seconds * 1000);
    return (ProcessCpuSeconds() - before) * 1000.0 / (wall.elapsed() / 1000.0);
}

void LoadFigures(int modules, int seconds, int rounds)
{
    TSlaveProcess slave(modules);
    TForm1 form;
    form.show();
    Choose(form.cbxNumWZMs, modules);
    form.StartButton->click();
    if (!WaitFor([&] { return form.edbxCommStatus->text() == "Connected"; }, 5000)) {
        std::printf("not connected: %s\n", form.edbxCommStatus->text().toLocal8Bit().constData());
        return;
    }
    form.View()->OpenWeightPlot();
    TWeightPlot* plot = form.View()->WeightPlot();
    plot->cbxWindow->setCurrentIndex(2);  // 15 minutes
    plot->hide();
    Pump(1000);
    double closed = 0, one = 0, all = 0;
    const std::uint32_t telegrams = form.ShownCount;
    QElapsedTimer wall;
    wall.start();
    for (int r = 0; r < rounds; ++r) {
        plot->hide();
        closed += CpuPerSecond(seconds);
        plot->cbAllModules->setChecked(false);
        plot->show();
        one += CpuPerSecond(seconds);
        plot->cbAllModules->setChecked(true);
        all += CpuPerSecond(seconds);
    }
    closed /= rounds;
    one /= rounds;
    all /= rounds;
    std::printf("%d modules, %.1f telegrams per second, %d rounds of %d s each:\n", modules,
                (form.ShownCount - telegrams) * 1000.0 / static_cast<double>(wall.elapsed()), rounds, seconds);
    std::printf("  plot closed:           CPU %.1f ms/s (%.2f %% of one core)\n", closed, closed / 10);
    std::printf("  plot open, one module: CPU %.1f ms/s (%.2f %% of one core), %.2f x closed\n", one, one / 10,
                one / closed);
    std::printf("  plot open, all modules: CPU %.1f ms/s (%.2f %% of one core), %.2f x closed, %d points drawn\n", all,
                all / 10, all / closed, plot->PointsShown());
}

void MemoryFigures(int modules)
{
    plot::TWeightHistory history(TForm1::PageSlots);
    TWeightPlot plot(history);
    std::int64_t now = 1'800'000'000'000;
    plot.SetClock([&] { return now; });
    plot.cbxWindow->setCurrentIndex(2);
    plot.cbAllModules->setChecked(true);
    plot.SetPaused(true);  // redrawn below in step with the fake clock
    plot.show();
    Pump(200);
    plot.SetPaused(false);
    const long before = ResidentKilobytes();
    std::printf(
        "10 minutes of %d modules at 10 values per second, redrawn every %d ms of that time "
        "(resident memory before: %ld kB):\n",
        modules, TWeightPlot::RedrawMs, before);
    QElapsedTimer wall;
    wall.start();
    for (int minute = 1; minute <= 10; ++minute) {
        for (int tick = 0; tick < 600; ++tick) {
            now += 100;
            for (int k = 0; k < modules; ++k) {
                const float gross = 100.0f * static_cast<float>(k + 1) + std::sin(static_cast<float>(now) / 5000.0f);
                history.Add(k, {now, gross, gross - 10.0f, 0x80, static_cast<std::uint8_t>(tick)});
            }
            if (tick % (TWeightPlot::RedrawMs / 100) == 0) plot.Redraw();
        }
        QApplication::processEvents();
        if (minute == 1 || minute == 5 || minute == 10)
            std::printf("  minute %2d: resident %ld kB (%+ld kB since before), %d points drawn\n", minute,
                        ResidentKilobytes(), ResidentKilobytes() - before, plot.PointsShown());
    }
    std::printf("  %.1f ms of CPU per simulated second of plot (feed and redraws, wall %.1f s for 600 s)\n",
                wall.elapsed() / 600.0, wall.elapsed() / 1000.0);
}

}  // namespace

constexpr const char* Usage = R"(Usage: quorvel-bench-plot [MODULES [SECONDS [ROUNDS [MEMORY]]]]
Figures of the weight plot: CPU with the plot closed and open, memory over
ten minutes of values.
  MODULES  weighing modules of the simulated slave, 1 to 8 (default 8)
  SECONDS  seconds of each phase (default 20)
  ROUNDS   rounds of the phases (default 3)
  MEMORY   1 for the memory figures, 0 to skip them (default 1)
)";

int main(int argc, char** argv)
{
    if (const auto status = BenchUsage(argc, argv, 4, Usage)) return *status;
    const int modules = argc > 1 ? std::atoi(argv[1]) : 8;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    TTempTree tree;
    unsetenv("QUORVEL_SYSFS_ROOT");
    QApplication app(argc, argv);
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
    LoadFigures(modules, seconds, rounds);
    if (argc <= 4 || std::atoi(argv[4]) != 0) MemoryFigures(modules);
    return 0;
}
