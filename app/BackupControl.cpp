#include "BackupControl.h"

#include "FileDialogs.h"
#include "dp/Profi_dp.h"
#include "module/core/PageLayout.h"
#include "module/Parameters.h"

#include <QDateTime>
#include <QFile>
#include <QMessageBox>

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "unknown"
#endif

TBackupControl::TBackupControl(T_DPV0& master, QWidget* window, THooks hooks, const TParameters* parameters)
    : master_(master), window_(window), hooks_(std::move(hooks)), parameters_(parameters)
{
}

TBackupDialog* TBackupControl::Dialog()
{
    if (!dialog_) dialog_ = new TBackupDialog(window_, hooks_.queue, hooks_.drop, hooks_.message);
    return dialog_;
}

void TBackupControl::TakeResult(const TCommandResult& result)
{
    if (dialog_) dialog_->TakeResult(result);
}

bool TBackupControl::Busy()
{
    if (!dialog_ || !dialog_->Running()) return false;
    dialog_->show();
    dialog_->raise();
    return true;
}

std::vector<backup::TPageLayout> TBackupControl::PageLayout()
{
    std::vector<backup::TPageLayout> layout;
    if (parameters_) layout = conf::PageLayoutOf(parameters_->Lines);
    if (layout.empty())
        QMessageBox::warning(window_, QStringLiteral("Module parameters"),
                             QStringLiteral("No parameter page is loaded: Quorvel.conf was not found or lists none."));
    return layout;
}

void TBackupControl::BackupClick()
{
    if (Busy()) return;
    const QString proposed = QStringLiteral("module%1-%2.txt")
                                 .arg(hooks_.selectedModule())
                                 .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")));
    const QString file = filedialog::SaveFileName(window_, QStringLiteral("Backup parameters"), proposed,
                                                  QStringLiteral("Parameter backups (*.txt);;All files (*)"));
    if (!file.isEmpty()) StartBackup(file);
}

void TBackupControl::StartBackup(const QString& fileName)
{
    if (Busy()) return;
    const std::vector<backup::TPageLayout> layout = PageLayout();
    if (layout.empty()) return;
    const backup::THeader header{
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString(),
        "Quorvel " QUORVEL_VERSION,
        master_.SlaveAddress,
        hooks_.selectedModule(),
        {}};
    Dialog()->StartBackup(TBackupRun::ForBackup(layout, conf::IdentityKeys()), hooks_.selectedModule(), header,
                          fileName);
}

void TBackupControl::RestoreClick()
{
    if (Busy()) return;
    const QString file = filedialog::OpenFileName(window_, QStringLiteral("Restore parameters"),
                                                  QStringLiteral("Parameter backups (*.txt);;All files (*)"));
    if (!file.isEmpty()) OfferRestore(file);
}

void TBackupControl::OfferRestore(const QString& fileName)
{
    if (Busy()) return;
    const std::vector<backup::TPageLayout> layout = PageLayout();
    if (layout.empty()) return;
    // The whole file is checked against the pages before anything is written.
    const backup::TRead read = backup::ReadFile(QFile::encodeName(fileName).toStdString(), layout);
    if (!read.file) {
        QMessageBox::warning(window_, QStringLiteral("Restore parameters"),
                             QStringLiteral("%1 is not restored, nothing was written.\n%2")
                                 .arg(fileName, QString::fromStdString(read.error)));
        return;
    }
    if (read.unchecked &&
        QMessageBox::question(window_, QStringLiteral("Restore parameters"),
                              QString::fromStdString(backup::UncheckedWarning(fileName.toStdString())) +
                                  QStringLiteral("\n\nRestore it anyway?"),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    Dialog()->OfferRestore(TBackupRun::ForRestore(*read.file, layout), hooks_.selectedModule(), *read.file, fileName,
                           master_.SlaveAddress);
}
