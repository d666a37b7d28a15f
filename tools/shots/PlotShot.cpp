// Review tool (not a test): the weight plot against quorvel-slave, the chosen
// module after some seconds of values, then all modules after the slave is
// gone (with the link-lost line), saved as <output> and <output>-all.png.
// Run under xvfb-run:
//   xvfb-run -a app_plot_shot [modules] [seconds] [output.png]
#include "tests/support/AppEnvironment.h"
#include "app/MainForm.h"
#include "tests/support/QtTestSupport.h"
#include "app/ViewControl.h"
#include "app/WeightPlot.h"
#include "dp/Profi_dp.h"
#include "serial/VeltPort.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const int modules = argc > 1 ? std::atoi(argv[1]) : 3;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 8;
    const QString output = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("/tmp/quorvel-shots/plot.png");
    TTempTree tree;
    TSlaveProcess slave(modules);
    QApplication app(argc, argv);
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });

    TForm1 form;
    form.show();
    Choose(form.cbxNumWZMs, modules);
    form.StartButton->click();
    const bool connected = WaitFor([&] { return form.edbxCommStatus->text() == "Connected"; }, 5000);
    form.View()->OpenWeightPlot();
    TWeightPlot* plot = form.View()->WeightPlot();
    plot->resize(1000, 560);
    if (modules > 1) form.PageControl1->setCurrentIndex(1);
    Pump(seconds * 1000);
    const bool saved = plot->grab().save(output);
    slave.Stop(SIGKILL);
    WaitFor([&] { return form.Master->CurrentState().State != stDataExchange; }, 5000);
    plot->cbAllModules->setChecked(true);
    Pump(1000);
    QString stem = output;
    stem.chop(4);
    plot->grab().save(stem + QStringLiteral("-all.png"));
    std::printf("%s, %d points, %d link losses shown, %s %s\n", connected ? "connected" : "NOT connected",
                plot->PointsShown(), plot->LinkLossesShown(), saved ? "saved" : "could not save",
                output.toLocal8Bit().constData());
    return connected && saved ? 0 : 1;
}
