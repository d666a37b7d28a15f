#include "BackupDialog.h"

#include "core/CommandChannel.h"
#include "SaveWhole.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

QString ItemName(const backup::TItem& item)
{
    return QStringLiteral("%1 %2 %3").arg(Text(item.page)).arg(item.number).arg(Text(item.text));
}

}  // namespace

TBackupDialog::TBackupDialog(QWidget* parent, TCommandHook queue, TCommandHook drop, TEndHook ended)
    : QDialog(parent), queue_(std::move(queue)), drop_(std::move(drop)), ended_(std::move(ended))
{
    setObjectName(QStringLiteral("BackupDialog"));
    setModal(false);
    resize(520, 380);
    Status = new QLabel(this);
    Status->setWordWrap(true);
    Progress = new QProgressBar(this);
    Report = new QPlainTextEdit(this);
    Report->setReadOnly(true);
    Report->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* buttons = new QDialogButtonBox(this);
    WriteButton = buttons->addButton(QStringLiteral("&Write to module"), QDialogButtonBox::AcceptRole);
    CancelButton = buttons->addButton(QDialogButtonBox::Cancel);
    CloseButton = buttons->addButton(QDialogButtonBox::Close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Status);
    layout->addWidget(Progress);
    layout->addWidget(Report, 1);
    layout->addWidget(buttons);
    connect(WriteButton, &QPushButton::clicked, this, &TBackupDialog::Write);
    connect(CancelButton, &QPushButton::clicked, this, &TBackupDialog::Cancel);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::hide);
}

void TBackupDialog::StartBackup(TBackupRun run, std::uint8_t unit, const backup::THeader& header,
                                const QString& fileName)
{
    run_ = std::move(run);
    restore_ = false;
    unit_ = unit;
    header_ = header;
    fileName_ = fileName;
    setWindowTitle(QStringLiteral("Backup of module %1").arg(unit));
    Report->clear();
    Begin();
}

void TBackupDialog::OfferRestore(TBackupRun run, std::uint8_t unit, const backup::TFile& file, const QString& fileName,
                                 int slaveAddress)
{
    run_ = std::move(run);
    restore_ = true;
    unit_ = unit;
    fileName_ = fileName;
    setWindowTitle(QStringLiteral("Restore of module %1").arg(unit));
    planHead_.clear();
    planHead_ << QStringLiteral("From %1").arg(fileName);
    planHead_ << QStringLiteral("taken %1 from slave address %2, module %3")
                     .arg(Text(file.header.date))
                     .arg(file.header.slaveAddress)
                     .arg(file.header.unitAddress);
    planHead_ << QStringLiteral("To slave address %1, module %2:").arg(slaveAddress).arg(unit);
    Report->setPlainText(planHead_.join(QLatin1Char('\n')));
    // The module's values are read first, so the plan can show what differs.
    Begin();
}

// The comparison is done: the plan shows each item with the module's value
// and the file's, and the writes wait for "Write to module".
void TBackupDialog::ShowPlan()
{
    running_ = false;
    client_.Forget();
    int writes = 0;
    for (const TBackupRun::TRestoreItem& entry : run_->RestoreItems()) writes += entry.Differs() ? 1 : 0;
    if (writes == 0) {
        run_->StartWriting();
        Finish();
        return;
    }
    QStringList lines = planHead_;
    for (const std::string& line : run_->PlanLines()) lines << Text(line);
    Report->setPlainText(lines.join(QLatin1Char('\n')));
    const std::size_t absent = run_->NotInFile().size();
    Status->setText(
        QStringLiteral("%1 of %2 item(s) differ from the module.%3 Write them and read each back?")
            .arg(writes)
            .arg(run_->RestoreItems().size())
            .arg(absent ? QStringLiteral(" %1 item(s) of the pages are not in the file.").arg(absent) : QString()));
    WriteButton->setVisible(true);
    WriteButton->setEnabled(true);
    CancelButton->setVisible(true);
    CloseButton->setVisible(false);
    WriteButton->setFocus();
}

void TBackupDialog::Write()
{
    if (!restore_ || running_ || !run_ || !run_->AwaitingWrite()) return;
    run_->StartWriting();
    Begin();
}

void TBackupDialog::Begin()
{
    running_ = true;
    client_.Forget();
    Progress->setRange(0, static_cast<int>(run_->Steps()));
    Progress->setValue(0);
    WriteButton->setVisible(false);
    CancelButton->setVisible(true);
    CloseButton->setVisible(false);
    show();
    raise();
    SendNext();
}

void TBackupDialog::SendNext()
{
    Progress->setRange(0, static_cast<int>(run_->Steps()));
    Progress->setValue(static_cast<int>(run_->StepsDone()));
    if (run_->Done()) {
        Finish();
        return;
    }
    const auto next = run_->NextCommand();
    if (!next) {
        ShowPlan();
        return;
    }
    Status->setText(QStringLiteral("%1: command %2 of %3")
                        .arg(!restore_               ? QStringLiteral("Reading")
                             : run_->AwaitingWrite() ? QStringLiteral("Reading the module's values")
                                                     : QStringLiteral("Restoring"))
                        .arg(run_->StepsDone() + 1)
                        .arg(run_->Steps()));
    client_.Sent(unit_, *next);
    queue_(unit_, *next);
}

bool TBackupDialog::TakeResult(const TCommandResult& result)
{
    if (!running_ || !client_.Ends(result)) return false;
    if (result.givenUp)
        run_->GiveUp();
    else
        run_->TakeResult(result.stat, result.value);
    SendNext();
    return true;
}

void TBackupDialog::Cancel()
{
    if (!running_) {
        hide();
        return;
    }
    // A command still waiting in the queue is taken back; one already on the
    // line is answered, and the window shows that answer as usual.
    if (client_.Command()) drop_(unit_, *client_.Command());
    client_.Forget();
    running_ = false;
    QStringList lines;
    if (restore_)
        for (const std::string& line : run_->ReportLines()) lines << Text(line);
    ShowEnd(QStringLiteral("Cancelled after %1 of %2 commands; %3")
                .arg(run_->StepsDone())
                .arg(run_->Steps())
                .arg(restore_ ? QStringLiteral("the items not reached keep their values")
                              : QStringLiteral("no file written")),
            lines);
}

void TBackupDialog::reject()
{
    if (running_) Cancel();
    QDialog::reject();
}

void TBackupDialog::Finish()
{
    running_ = false;
    if (restore_)
        FinishRestore();
    else
        FinishBackup();
}

void TBackupDialog::FinishBackup()
{
    QStringList lines;
    int refused = 0;
    for (const backup::TItem& item : run_->Items()) {
        if (item.refusal.empty()) continue;
        ++refused;
        lines << QStringLiteral("%1: refused %2").arg(ItemName(item), Text(item.refusal));
    }
    if (lines.isEmpty()) lines << QStringLiteral("Every item was read.");
    if (!run_->Identification().empty()) lines.prepend(QStringLiteral("Module: ") + Text(run_->Identification()));
    header_.identification = run_->Identification();
    const std::string text = backup::Write({header_, run_->Items()});
    // An older backup is not replaced by one that lacks answers.
    const QString path = QFile::decodeName(run_->BackupPath(QFile::encodeName(fileName_).toStdString()).c_str());
    if (path != fileName_)
        lines.prepend(QStringLiteral("%1 item(s) not answered: %2 keeps its older backup")
                          .arg(run_->Unanswered())
                          .arg(fileName_));
    if (QString error; !SaveWhole(path, text, error)) {
        // The values read are not lost: the report holds the whole backup.
        ShowEnd(QStringLiteral("%1. The backup is below; copy it from here.").arg(error), QStringList{Text(text)});
        return;
    }
    ShowEnd(QStringLiteral("%1 item(s) written to %2, %3 refused").arg(run_->Items().size()).arg(path).arg(refused),
            lines);
}

void TBackupDialog::FinishRestore()
{
    QStringList lines;
    for (const std::string& line : run_->ReportLines()) lines << QStringLiteral("difference: ") + Text(line);
    bool wrote = false;
    for (const TBackupRun::TRestoreItem& entry : run_->RestoreItems()) wrote = wrote || entry.written;
    if (lines.isEmpty())
        lines << (wrote ? QStringLiteral("Every item written was read back unchanged.")
                        : QStringLiteral("The module holds every value of the file: nothing was written."));
    ShowEnd((run_->Complete() ? QStringLiteral("Restored: ") : QStringLiteral("Restore incomplete: ")) +
                Text(run_->Summary()),
            lines);
}

void TBackupDialog::ShowEnd(const QString& status, const QStringList& lines)
{
    Status->setText(status);
    if (ended_)
        ended_((restore_ ? QStringLiteral("Restore of WZM %1 from %2: ").arg(unit_).arg(fileName_)
                         : QStringLiteral("Backup of WZM %1: ").arg(unit_)) +
               status);
    // The report replaces the plan: what went wrong comes first to the eye.
    Report->setPlainText(lines.join(QLatin1Char('\n')));
    WriteButton->setVisible(false);
    CancelButton->setVisible(false);
    CloseButton->setVisible(true);
    CloseButton->setFocus();
}
