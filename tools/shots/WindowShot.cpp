// Review tool (not a test): the main window before Start, connected to
// quorvel-slave with live values, and after the slave is gone, saved as
// <output>-before.png, <output>.png, <output>-overview.png (View -> All
// modules) and <output>-lost.png. Run under xvfb-run:
//   xvfb-run -a app_window_shot [modules] [output.png]
#include "tests/support/AppEnvironment.h"
#include "tests/support/QtTestSupport.h"
#include "app/MainForm.h"
#include "app/ModulesOverview.h"
#include "app/ViewControl.h"
#include "dp/Profi_dp.h"
#include "serial/VeltPort.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const int modules = argc > 1 ? std::atoi(argv[1]) : 2;
    const QString output = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/tmp/quorvel-shots/window.png");
    TTempTree tree;
    TSlaveProcess slave(modules);
    QApplication app(argc, argv);
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });

    TForm1 form;
    form.show();
    Choose(form.cbxNumWZMs, modules);
    Pump(300);
    QString stem = output;
    stem.chop(4);
    form.grab().save(stem + QStringLiteral("-before.png"));
    form.StartButton->click();
    const bool connected = WaitFor([&] { return form.edbxCommStatus->text() == "Connected"; }, 5000);
    form.QueueCommand(0, {0x10});  // raw counts, so the command edits show an exchange
    Pump(1500);
    if (modules > 1) form.PageControl1->setCurrentIndex(1);
    Pump(300);
    const bool saved = form.grab().save(output);
    form.View()->OpenModulesOverview();
    Pump(300);
    form.View()->ModulesOverview()->grab().save(stem + QStringLiteral("-overview.png"));
    slave.Stop(SIGKILL);
    // The master gives the slave up after its silent requests: values go grey.
    WaitFor([&] { return form.Master->CurrentState().State != stDataExchange; }, 5000);
    Pump(300);
    form.grab().save(stem + QStringLiteral("-lost.png"));
    std::printf("%s, %s %s\n", connected ? "connected" : "NOT connected", saved ? "saved" : "could not save",
                output.toLocal8Bit().constData());
    return connected && saved ? 0 : 1;
}
