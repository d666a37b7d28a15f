// The window's Module menu: Backup parameters... and Restore parameters...
// of the module selected, run in a non-modal dialog through the command queue.
#include "MainForm.h"

#include "BackupDialog.h"
#include "ErrorBox.h"
#include "dp/Profi_dp.h"
#include "module/PageLayout.h"
#include "module/Parameters.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "unknown"
#endif

void TForm1::BuildModuleMenu()
{
    QMenu* menu = MenuBar->addMenu(QStringLiteral("&Module"));
    QAction* backup = menu->addAction(QStringLiteral("&Backup parameters..."));
    backup->setObjectName(QStringLiteral("actBackupParameters"));
    connect(backup, &QAction::triggered, this, [this] { BackupClick(); });
    QAction* restore = menu->addAction(QStringLiteral("&Restore parameters..."));
    restore->setObjectName(QStringLiteral("actRestoreParameters"));
    connect(restore, &QAction::triggered, this, [this] { RestoreClick(); });
}

TBackupDialog* TForm1::BackupDialog()
{
    if (!backupDialog_)
        backupDialog_ = new TBackupDialog(
            this, [this](std::uint8_t unit, const TByteString& command) { QueueCommand(unit, command); },
            [this](std::uint8_t unit, const TByteString& command) { Channel.Drop(unit, command); });
    return backupDialog_;
}

// A run already going is shown instead of starting another.
bool TForm1::BackupBusy()
{
    if (!backupDialog_ || !backupDialog_->Running()) return false;
    backupDialog_->show();
    backupDialog_->raise();
    return true;
}

std::vector<backup::TPageLayout> TForm1::PageLayout()
{
    std::vector<backup::TPageLayout> layout;
    if (Parameters) layout = conf::PageLayoutOf(Parameters->Lines);
    if (layout.empty())
        QMessageBox::warning(this, QStringLiteral("Module parameters"),
                             QStringLiteral("No parameter page is loaded: Quorvel.conf was not found or lists none."));
    return layout;
}

void TForm1::BackupClick()
{
    if (BackupBusy()) return;
    const QString proposed = QStringLiteral("module%1-%2.txt")
                                 .arg(SelectedModule())
                                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")));
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Backup parameters"), proposed,
                                                      QStringLiteral("Parameter backups (*.txt);;All files (*)"));
    if (!file.isEmpty()) StartBackup(file);
}

void TForm1::StartBackup(const QString& fileName)
{
    if (BackupBusy()) return;
    const std::vector<backup::TPageLayout> layout = PageLayout();
    if (layout.empty()) return;
    const backup::THeader header{
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString(),
        "Quorvel " QUORVEL_VERSION,
        Master->SlaveAddress,
        SelectedModule(),
        {}};
    BackupDialog()->StartBackup(TBackupRun::ForBackup(layout, conf::IdentityKeys()), SelectedModule(), header,
                                fileName);
}

void TForm1::RestoreClick()
{
    if (BackupBusy()) return;
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Restore parameters"), QString(),
                                                      QStringLiteral("Parameter backups (*.txt);;All files (*)"));
    if (!file.isEmpty()) OfferRestore(file);
}

void TForm1::OfferRestore(const QString& fileName)
{
    if (BackupBusy()) return;
    const std::vector<backup::TPageLayout> layout = PageLayout();
    if (layout.empty()) return;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(this, QStringLiteral("Restore parameters"),
                             QStringLiteral("Cannot read %1: %2").arg(fileName, file.errorString()));
        return;
    }
    const QByteArray bytes = file.readAll();
    // The whole file is checked against the pages before anything is written.
    const backup::TRead read =
        backup::Read(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), layout);
    if (!read.file) {
        QMessageBox::warning(this, QStringLiteral("Restore parameters"),
                             QStringLiteral("%1 is not restored, nothing was written.\n%2")
                                 .arg(fileName, QString::fromStdString(read.error)));
        return;
    }
    BackupDialog()->OfferRestore(TBackupRun::ForRestore(*read.file, layout), SelectedModule(), *read.file, fileName,
                                 Master->SlaveAddress);
}
