// The main window's menu bar and what its File and Help menus do themselves:
// saving the messages, Quick start and the About box; Record trace, the View
// menu, backup and restore go to their controllers.
#include "MainForm.h"

#include "FileDialogs.h"
#include "BackupControl.h"
#include "BuildCommit.h"
#include "ErrorBox.h"
#include "SaveWhole.h"
#include "app/calibrate/CalibrationWizard.h"
#include "dp/Profi_dp.h"
#include "TraceControl.h"
#include "ViewControl.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include <stdexcept>

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "unknown"
#endif
#ifndef QUORVEL_BUILD
#define QUORVEL_BUILD "unknown"
#endif

// The one place that builds the menu bar, but for the Line menu, which the
// line control puts in before Help.
namespace {

// The window's one calibration wizard, made on first use and fed with the
// end of every command and every gross reading; begun for the selected
// module and shown.
void OpenCalibration(TForm1& form)
{
    auto* wizard = form.findChild<TCalibrationWizard*>();
    if (!wizard) {
        wizard = new TCalibrationWizard(
            &form,
            {[&form] { return form.SelectedModule(); }, [&form] { return form.Master->SlaveAddress; },
             [&form](std::uint8_t unit, const TByteString& command) { form.QueueCommand(unit, command); }, SaveWhole});
        QObject::connect(&form, &TForm1::CommandEnded, wizard, &TCalibrationWizard::TakeResult);
        QObject::connect(&form, &TForm1::ModuleRead, wizard, &TCalibrationWizard::Weighed);
    }
    wizard->Begin();
    wizard->show();
    wizard->raise();
}

}  // namespace

void TForm1::BuildMenuBar()
{
    MenuBar = new QMenuBar(this);
    FileMenu = MenuBar->addMenu(QStringLiteral("&File"));
    QAction* save = FileMenu->addAction(QStringLiteral("&Save messages..."));
    save->setObjectName(QStringLiteral("actSaveMessages"));
    connect(save, &QAction::triggered, this, [this] {
        const QString file =
            filedialog::SaveFileName(this, QStringLiteral("Save messages"), QStringLiteral("quorvel-messages.txt"),
                                     QStringLiteral("Text files (*.txt);;All files (*)"));
        if (!file.isEmpty()) errorbox::Guard([&] { SaveMessages(file); });
    });
    RecordTraceAction = FileMenu->addAction(QStringLiteral("&Record trace..."));
    RecordTraceAction->setObjectName(QStringLiteral("actRecordTrace"));
    connect(RecordTraceAction, &QAction::triggered, this, [this] { errorbox::Guard([this] { trace_->Click(); }); });
    FileMenu->addSeparator();
    QuitAction = FileMenu->addAction(QStringLiteral("&Quit"));
    QuitAction->setShortcut(QKeySequence::Quit);
    connect(QuitAction, &QAction::triggered, this, &QWidget::close);
    QMenu* view = MenuBar->addMenu(QStringLiteral("&View"));
    QAction* plot = view->addAction(QStringLiteral("&Weight plot..."));
    plot->setObjectName(QStringLiteral("actWeightPlot"));
    connect(plot, &QAction::triggered, this, [this] { view_->OpenWeightPlot(); });
    connect(view->addAction(QStringLiteral("&All modules...")), &QAction::triggered, this,
            [this] { view_->OpenModulesOverview(); });
    QMenu* module = MenuBar->addMenu(QStringLiteral("&Module"));
    QAction* backup = module->addAction(QStringLiteral("&Backup parameters..."));
    backup->setObjectName(QStringLiteral("actBackupParameters"));
    connect(backup, &QAction::triggered, this, [this] { backup_->BackupClick(); });
    QAction* restore = module->addAction(QStringLiteral("&Restore parameters..."));
    restore->setObjectName(QStringLiteral("actRestoreParameters"));
    connect(restore, &QAction::triggered, this, [this] { backup_->RestoreClick(); });
    QAction* calibrate = module->addAction(QStringLiteral("&Calibrate..."));
    calibrate->setObjectName(QStringLiteral("actCalibrate"));
    connect(calibrate, &QAction::triggered, this, [this] { errorbox::Guard([this] { OpenCalibration(*this); }); });
    HelpMenu = MenuBar->addMenu(QStringLiteral("&Help"));
    connect(HelpMenu->addAction(QStringLiteral("&Quick start")), &QAction::triggered, this,
            [this] { ShowQuickStart(); });
    connect(HelpMenu->addAction(QStringLiteral("&About")), &QAction::triggered, this, [this] { ShowAbout(); });
}

void TForm1::SaveMessages(const QString& fileName)
{
    QString text;
    for (const auto& [time, line] : messageLog_)
        text += time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + QStringLiteral("  ") + line + '\n';
    if (QString error; !SaveWhole(fileName, text.toStdString(), error))
        throw std::runtime_error("Cannot write " + fileName.toStdString() + ": " + error.toStdString());
    // Without this line a save looks the same as a dialog closed with Cancel.
    AddMessage(QStringLiteral("Messages saved to ") + fileName);
}

void TForm1::ShowQuickStart()
{
    auto* box = new QMessageBox(
        QMessageBox::Information, QStringLiteral("Quick start"),
        QStringLiteral("1. PORT: choose the serial port of the RS-485 adapter (no adapter: start quorvel-slave, "
                       "then open the list again).\n"
                       "2. Profibus Addr: the slave's station address; Find stations lists the stations on the line.\n"
                       "3. WZM count: the number of modules in the slave.\n"
                       "4. Start (Alt+S). The state goes through Connecting to Connected and the module pages show "
                       "live weights; grey values are not live.\n"
                       "5. WZM unit addr or a module tab: the module that the function keys and parameter pages "
                       "command (its tab carries an arrow).\n"
                       "6. Stop (Alt+T) ends the data exchange.\n\n"
                       "The memo keeps what happened; File > Save messages writes it to a file."),
        QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("QuickStartBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

void TForm1::ShowAbout()
{
    auto* box = new QMessageBox(
        QMessageBox::Information, QStringLiteral("About Quorvel"),
        QStringLiteral("Quorvel %1\nCommit: %2\nBuild: %3\nQt %4 (built with %5)\n\n"
                       "Name the version and the commit in a problem report.")
            .arg(QStringLiteral(QUORVEL_VERSION), QStringLiteral(QUORVEL_COMMIT), QStringLiteral(QUORVEL_BUILD),
                 QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR)),
        QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("aboutBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}
