// Review tool (not a test): Module -> Backup parameters... against a
// two-module quorvel-slave, then Restore parameters... of that file with its
// plan shown, and the restore's report, saved as PNGs. Run under xvfb-run:
//   xvfb-run -a app_backup_shot [output folder]
#include "tests/support/AppEnvironment.h"
#include "app/BackupControl.h"
#include "app/MainForm.h"
#include "tests/support/QtTestSupport.h"
#include "serial/VeltPort.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <cstdio>

int main(int argc, char** argv)
{
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/quorvel-shots");
    TTempTree tree;
    TSlaveProcess slave(2);
    QApplication app(argc, argv);
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });

    TForm1 form;
    form.show();
    Choose(form.cbxNumWZMs, 2);
    form.cbFastCycle->setChecked(true);
    form.StartButton->click();
    WaitFor([&] { return form.edbxCommStatus->text() == QLatin1String("Connected"); }, 10000);
    Choose(form.cbxWZMaddr, 1);
    for (QAction* menu : form.MenuBar->actions()) std::printf("menu %s\n", menu->text().toLocal8Bit().constData());
    const QString file = QString::fromStdString((tree.Work() / "module1.txt").string());
    form.Backup()->StartBackup(file);
    TBackupDialog* dialog = form.Backup()->Dialog();
    Pump(1500);
    const bool running = dialog->grab().save(folder + "/backup-running.png");
    WaitFor([&] { return !dialog->Running(); }, 60000);
    const bool done = dialog->grab().save(folder + "/backup-done.png");
    form.Backup()->OfferRestore(file);  // reads the module's values first, then shows the plan
    WaitFor([&] { return dialog->WriteButton->isVisible() || !dialog->Running(); }, 60000);
    Pump(300);
    const bool plan = dialog->grab().save(folder + "/restore-plan.png");
    if (dialog->WriteButton->isVisible()) dialog->WriteButton->click();
    WaitFor([&] { return !dialog->Running(); }, 120000);
    Pump(300);
    const bool report = dialog->grab().save(folder + "/restore-report.png");
    const bool window = form.grab().save(folder + "/backup-window.png");
    std::printf("%s\nsaved %d %d %d %d %d in %s\n", dialog->Status->text().toLocal8Bit().constData(), running, done,
                plan, report, window, folder.toLocal8Bit().constData());
    return running && done && plan && report && window ? 0 : 1;
}
