#include "BackupDialog.h"

#include "CommandChannel.h"
#include "SaveWhole.h"

#include <QDialogButtonBox>
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

TBackupDialog::TBackupDialog(QWidget* parent, TCommandHook queue, TCommandHook drop)
    : QDialog(parent), queue_(std::move(queue)), drop_(std::move(drop))
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
    running_ = false;
    sent_.reset();
    setWindowTitle(QStringLiteral("Restore of module %1").arg(unit));
    QStringList lines;
    lines << QStringLiteral("From %1").arg(fileName);
    lines << QStringLiteral("taken %1 from slave address %2, module %3")
                 .arg(Text(file.header.date))
                 .arg(file.header.slaveAddress)
                 .arg(file.header.unitAddress);
    lines << QStringLiteral("To slave address %1, module %2:").arg(slaveAddress).arg(unit);
    for (const backup::TItem& item : file.items)
        lines << (item.value ? QStringLiteral("writes %1 = %2").arg(ItemName(item)).arg(*item.value)
                             : QStringLiteral("skips %1 (refused in the backup)").arg(ItemName(item)));
    Report->setPlainText(lines.join(QLatin1Char('\n')));
    Status->setText(QStringLiteral("Write these %1 item(s) to the module and read each back?").arg(run_->Steps() / 2));
    Progress->setRange(0, static_cast<int>(run_->Steps()));
    Progress->setValue(0);
    WriteButton->setVisible(true);
    WriteButton->setEnabled(run_->Steps() > 0);
    CancelButton->setVisible(true);
    CloseButton->setVisible(false);
    show();
    raise();
}

void TBackupDialog::Write()
{
    if (!restore_ || running_ || !run_) return;
    Begin();
}

void TBackupDialog::Begin()
{
    running_ = true;
    sent_.reset();
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
    Progress->setValue(static_cast<int>(run_->StepsDone()));
    if (run_->Done()) {
        Finish();
        return;
    }
    sent_ = run_->NextCommand();
    Status->setText(QStringLiteral("%1: command %2 of %3")
                        .arg(restore_ ? QStringLiteral("Restoring") : QStringLiteral("Reading"))
                        .arg(run_->StepsDone() + 1)
                        .arg(run_->Steps()));
    queue_(unit_, *sent_);
}

bool TBackupDialog::Answers(std::uint8_t unit, std::uint8_t cmd, std::uint8_t index) const
{
    return running_ && sent_ && !sent_->empty() && unit == unit_ && cmd == (*sent_)[0] &&
           index == TCommandChannel::IndexOf(*sent_);
}

bool TBackupDialog::TakeResult(std::uint8_t unit, std::uint8_t cmd, std::uint8_t index, std::uint8_t stat,
                               std::int32_t value)
{
    if (!Answers(unit, cmd, index)) return false;
    sent_.reset();
    run_->TakeResult(stat, value);
    SendNext();
    return true;
}

bool TBackupDialog::TakeGiveUp(std::uint8_t unit, std::uint8_t cmd, std::uint8_t index)
{
    if (!Answers(unit, cmd, index)) return false;
    sent_.reset();
    run_->GiveUp();
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
    if (sent_) drop_(unit_, *sent_);
    sent_.reset();
    running_ = false;
    QStringList lines;
    if (restore_)
        for (const std::string& difference : run_->Differences()) lines << Text(difference);
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
    if (QString error; !SaveWhole(fileName_, text, error)) {
        // The values read are not lost: the report holds the whole backup.
        ShowEnd(QStringLiteral("Cannot write %1: %2. The backup is below; copy it from here.").arg(fileName_, error),
                QStringList{Text(text)});
        return;
    }
    ShowEnd(
        QStringLiteral("%1 item(s) written to %2, %3 refused").arg(run_->Items().size()).arg(fileName_).arg(refused),
        lines);
}

void TBackupDialog::FinishRestore()
{
    QStringList lines;
    for (const std::string& difference : run_->Differences())
        lines << QStringLiteral("difference: ") + Text(difference);
    if (lines.isEmpty()) lines << QStringLiteral("Every item was written and read back unchanged.");
    ShowEnd(run_->Complete() ? QStringLiteral("%1 item(s) written, every one confirmed").arg(run_->Items().size())
                             : QStringLiteral("%1 item(s) written, %2 difference(s)")
                                   .arg(run_->Items().size())
                                   .arg(run_->Differences().size()),
            lines);
}

void TBackupDialog::ShowEnd(const QString& status, const QStringList& lines)
{
    Status->setText(status);
    // The report replaces the plan: what went wrong comes first to the eye.
    Report->setPlainText(lines.join(QLatin1Char('\n')));
    WriteButton->setVisible(false);
    CancelButton->setVisible(false);
    CloseButton->setVisible(true);
    CloseButton->setFocus();
}
