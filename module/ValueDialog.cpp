#include "ValueDialog.h"

#include "FunctionButton.h"
#include "module/core/Int32Text.h"
#include "core/CommandChannel.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

TValueDialog::TValueDialog(QWidget* parent) : QDialog(parent)
{
    Edit1 = new QLineEdit(this);
    Button1 = new QPushButton(QStringLiteral("Set"), this);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    connect(Button1, &QPushButton::clicked, this, &TValueDialog::SetClick);
    connect(Button2, &QPushButton::clicked, this, &TValueDialog::CancelClick);
}

void TValueDialog::ShowForEntry(const QString& caption, const QString& hint)
{
    setWindowTitle(caption);
    // Wide enough for the whole caption in the title bar (with room for its buttons).
    const int wanted = fontMetrics().horizontalAdvance(caption) + 120;
    setMaximumWidth(std::max(maximumWidth(), wanted));
    resize(std::max(width(), wanted), height());
    setToolTip(HintToToolTip(hint));
    awaited_.Forget();
    Edit1->setText(QStringLiteral("?"));
    // Enter sends the value on every opening, not only the first.
    Button1->setDefault(true);
    show();
    raise();
    activateWindow();
    Edit1->setFocus();
    Edit1->selectAll();
}

void TValueDialog::SetClick()
{
    const auto value = ParseInt32(Edit1->text().toStdString());
    if (!value) {
        ShowIllegalData();
    } else {
        try {
            TByteString command = WriteCommand();
            AppendInt32(command, *value);
            RaiseCommand(command);
        } catch (...) {
            ShowIllegalData();
        }
    }
    Finish();
}

void TValueDialog::CancelClick() { Finish(); }

void TValueDialog::reject() { CancelClick(); }

void TValueDialog::ShowValue(std::int32_t value) { Edit1->setText(QString::number(value)); }

void TValueDialog::AwaitAnswer(std::uint8_t unit, const TByteString& command)
{
    if (!command.empty()) awaited_.Sent(unit, command);
}

void TValueDialog::TakeAnswer(const TCommandResult& result)
{
    if (awaited_.Ends(result) && !result.givenUp && !Edit1->isModified()) ShowValue(result.value);
}

void TValueDialog::RaiseCommand(const TByteString& command)
{
    if (!onCommand_) return;
    AwaitAnswer(Module, command);
    onCommand_(Module, command);
}

void TValueDialog::ShowIllegalData()
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("SendCommand"), QStringLiteral("Illegal data"),
                    QMessageBox::Ok, this);
    box.exec();
}

void TValueDialog::Finish()
{
    Button1->setDefault(false);
    hide();
}
