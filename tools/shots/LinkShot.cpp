// Review tool (not a test): what the window says about the link, saved into
// <folder>: no-port.png (no port at all, the advice over the window),
// refused.png (a slave with 8 modules, the window set to 1, "No" to the
// offer), silent.png (no station at address 9, the offer to find stations)
// and quick-start.png (Help -> Quick start). Run under xvfb-run:
//   xvfb-run -a app_link_shot [output folder]
#include "tests/support/AppEnvironment.h"
#include "tests/support/QtTestSupport.h"
#include "app/MainForm.h"
#include "serial/VeltPort.h"

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <cstdio>
#include <memory>

namespace {

QMessageBox* Box(const TForm1& form, const char* name, int ms)
{
    QMessageBox* box = nullptr;
    WaitFor(
        [&] {
            for (QMessageBox* b : form.findChildren<QMessageBox*>(name))
                if (b->isVisible()) box = b;
            return box != nullptr;
        },
        ms);
    return box;
}

// The whole screen: the window and the box over it.
bool Save(const QString& file)
{
    Pump(300);
    return QGuiApplication::primaryScreen()->grabWindow(0).save(file);
}

}  // namespace

int main(int argc, char** argv)
{
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/quorvel-shots");
    QApplication app(argc, argv);
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
    int saved = 0;
    {
        TTempTree tree;
        TForm1 form;
        form.show();
        if (Box(form, "NoPortBox", 2000)) saved += Save(folder + QStringLiteral("/no-port.png"));
        CloseAllBoxes();
    }
    TTempTree tree;
    auto slave = std::make_unique<TSlaveProcess>(8);
    {
        TForm1 form;
        form.show();
        form.StartButton->click();
        if (QMessageBox* offer = Box(form, "ModuleCountOffer", 10000)) {
            offer->button(QMessageBox::No)->click();
            WaitFor([&] { return form.mMessages->toPlainText().contains(QStringLiteral("refused (\u00d72)")); }, 5000);
            saved += Save(folder + QStringLiteral("/refused.png"));
        }
        form.StopButton->click();
        TypeAndEnter(form.cbxProfiAddr, QStringLiteral("9"));
        form.StartButton->click();
        if (Box(form, "NoStationBox", 8000)) saved += Save(folder + QStringLiteral("/silent.png"));
        CloseAllBoxes();
        form.StopButton->click();
        form.ShowQuickStart();
        saved += Save(folder + QStringLiteral("/quick-start.png"));
        CloseAllBoxes();
    }
    std::printf("%d of 4 screens saved in %s\n", saved, folder.toLocal8Bit().constData());
    return saved == 4 ? 0 : 1;
}
