// Review tool (not a test): the window with "Find stations" after a scan of
// a three-station quorvel-slave, and the Diagnosis view, saved as PNGs. Run
// under xvfb-run:  xvfb-run -a app_stations_shot [output folder]
#include "tests/support/AppEnvironment.h"
#include "tests/support/QtTestSupport.h"
#include "app/DiagnosisView.h"
#include "app/MainForm.h"
#include "app/StationsControl.h"
#include "app/StationsDialog.h"
#include "serial/VeltPort.h"

#include <QApplication>
#include <QTableWidget>
#include <QPixmap>
#include <QPushButton>
#include <cstdio>

int main(int argc, char** argv)
{
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/quorvel-shots");
    TTempTree tree;
    TSlaveProcess slave(std::vector<std::string>{"--station", "3:2", "--station", "7:8", "--station", "20:1"});
    QApplication app(argc, argv);
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });

    TForm1 form;
    form.show();
    form.FindStationsButton->click();
    TStationsDialog* dialog = form.Stations()->Dialog();
    Pump(1200);
    const bool midway = dialog->grab().save(folder + "/stations-scanning.png");
    WaitFor([&] { return !dialog->Scanning(); }, 20000);
    dialog->List()->selectRow(1);
    Pump(200);
    const bool listed = dialog->grab().save(folder + "/stations-found.png");
    emit dialog->List()->cellDoubleClicked(1, 0);
    form.DiagnosisButton->click();
    Pump(300);
    const bool window = form.grab().save(folder + "/stations-window.png");
    const bool diagnosis = form.Stations()->DiagnosisView()->grab().save(folder + "/diagnosis.png");
    std::printf("%d stations; saved %d %d %d %d in %s\n", dialog->List()->rowCount(), midway, listed, window, diagnosis,
                folder.toLocal8Bit().constData());
    return midway && listed && window && diagnosis ? 0 : 1;
}
