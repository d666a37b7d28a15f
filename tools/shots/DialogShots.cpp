// Review tool (not a test): each dialog in use against quorvel-slave, saved
// as PNGs, and the main window after a page read and a mass flow poll. Run
// under xvfb-run:
//   xvfb-run -a app_dialog_shots [output folder]
#include "AppEnvironment.h"
#include "QtTestSupport.h"
#include "AppWindows.h"
#include "MainForm.h"
#include "module/Dialog1.h"
#include "module/Dialog2.h"
#include "module/Dialog3.h"
#include "module/Dialog4.h"
#include "module/FunctionButton.h"
#include "module/Parameters.h"
#include "serial/VeltPort.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <cstdio>

namespace {

bool Idle(const TForm1& form) { return !form.Channel.Pending() && form.Channel.QueueEmpty() && form.Read.Item() == 0; }

void Settle(const TForm1& form)
{
    Pump(50);
    WaitFor([&] { return Idle(form); }, 8000);
    Pump(300);
}

bool Save(QWidget& widget, const QString& folder, const char* name)
{
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "saved" : "could not save", path.toLocal8Bit().constData());
    return saved;
}

}  // namespace

int main(int argc, char** argv)
{
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/quorvel-shots");
    TTempTree tree;
    TSlaveProcess slave(2);
    QApplication app(argc, argv);
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });

    TForm1 form;
    TDialogForm1 dialog1;
    TDialogForm2 dialog2;
    TDialogForm3 dialog3;
    TDialogForm4 dialog4;
    DialogForm1 = &dialog1;
    DialogForm2 = &dialog2;
    DialogForm3 = &dialog3;
    DialogForm4 = &dialog4;
    form.show();
    Choose(form.cbxNumWZMs, 2);
    form.StartButton->click();
    const bool connected = WaitFor([&] { return form.edbxCommStatus->text() == "Connected"; }, 5000);
    Choose(form.cbxWZMaddr, 1);
    const auto click = [&](int key) {
        form.Functions->Button(key)->click();
        Settle(form);
    };
    bool ok = connected;

    click(50);  // TL: the present trigger level
    ok &= Save(dialog1, folder, "dialog1-TL.png");
    dialog1.Button2->click();

    click(40);  // S: point 2
    dialog2.ComboBox1->setCurrentIndex(2);
    dialog2.ComboBox1Change();
    Settle(form);
    ok &= Save(dialog2, folder, "dialog2-S.png");
    dialog2.Button2->click();

    click(34);  // LinY: point 3
    dialog4.ComboBox1->setCurrentIndex(3);
    dialog4.ComboBox1Change();
    Settle(form);
    ok &= Save(dialog4, folder, "dialog4-LinY.png");
    dialog4.Button2->click();

    click(74);  // LC: stopped, then started and opened again
    ok &= Save(dialog3, folder, "dialog3-LC-stopped.png");
    dialog3.btLiwStart->click();
    dialog3.FlowTimer->stop();
    Settle(form);
    Pump(2500);
    for (int tick = 0; tick < TDialogForm3::PollEveryTicks; ++tick) dialog3.FlowPollTick();
    Settle(form);
    click(74);
    ok &= Save(dialog3, folder, "dialog3-LC-running.png");
    dialog3.btLiwPause->click();
    Settle(form);
    click(74);
    ok &= Save(dialog3, folder, "dialog3-LC-paused.png");
    dialog3.btLiwStop->click();
    Settle(form);

    form.pcParams->setCurrentIndex(2);
    form.Parameters->Sheet(2)->ReadButton->click();
    Settle(form);
    click(2);  // CG without Calibrate Enable: refused
    dialog1.Edit1->setText("5000");
    dialog1.Button1->click();
    Settle(form);
    ok &= Save(form, folder, "window-after-commands.png");

    DialogForm1 = nullptr;
    DialogForm2 = nullptr;
    DialogForm3 = nullptr;
    DialogForm4 = nullptr;
    std::printf("%s\n", connected ? "connected" : "NOT connected");
    return ok ? 0 : 1;
}
