// Program entry: the main window (which builds and wires everything in its
// FormCreate), then the four dialogs hidden, then the event loop until the
// main window closes.
#include "AppWindows.h"
#include "DialogPlacement.h"
#include "MainForm.h"
#include "PlatformTexts.h"
#include "module/Dialog1.h"
#include "module/Dialog2.h"
#include "module/Dialog3.h"
#include "module/Dialog4.h"
#include "app/portselect/ComSelectForm.h"
#include "serial/SystemInfo.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>

namespace {

// --help and --version are answered before Qt starts, so they work without a
// display (and, on Windows, in the console they were typed into).
bool AnsweredInfoOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const bool help = std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0;
        if (help || std::strcmp(argv[i], "--version") == 0) UseParentConsole();
        if (help) {
            std::fputs(platformtext::Usage(WindowsBuild).c_str(), stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("quorvel " QUORVEL_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (AnsweredInfoOption(argc, argv)) return 0;
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);  // a vanished serial device is an error code, not a signal
#endif
    MarkProgramRunning();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setOrganizationName(QStringLiteral("Quorvel"));
    auto form = std::make_unique<TForm1>();
    Form1 = form.get();
    InstallPortSelectPrompt(form.get());  // a box over the window, never before it
    auto dialog1 = std::make_unique<TDialogForm1>();
    auto dialog2 = std::make_unique<TDialogForm2>();
    auto dialog3 = std::make_unique<TDialogForm3>();
    auto dialog4 = std::make_unique<TDialogForm4>();
    DialogForm1 = dialog1.get();
    DialogForm2 = dialog2.get();
    DialogForm3 = dialog3.get();
    DialogForm4 = dialog4.get();
    for (QWidget* dialog : std::initializer_list<QWidget*>{DialogForm1, DialogForm2, DialogForm3, DialogForm4})
        CentreOnShow(dialog, form.get());

    // The remembered place, or the primary screen's centre; either way wholly
    // on the screen, whose scaling may have changed since (the frame is known
    // only once shown, hence the second look).
    const bool placed = form->RestoreSettings();
    KeepWithinScreen(*form);
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!placed && screen)
        form->setGeometry(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, form->size(), screen->availableGeometry()));
    form->show();
    KeepWithinScreen(*form);
    const int result = app.exec();
    form->SaveSettings();

    // The dialogs go first: their timers and handlers reach into the main window.
    DialogForm1 = nullptr;
    DialogForm2 = nullptr;
    DialogForm3 = nullptr;
    DialogForm4 = nullptr;
    dialog4.reset();
    dialog3.reset();
    dialog2.reset();
    dialog1.reset();
    Form1 = nullptr;
    form.reset();
    return result;
}
