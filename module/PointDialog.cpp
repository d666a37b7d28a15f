#include "PointDialog.h"

#include "FunctionButton.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// The chosen point in the index byte (the second byte) of a command.
void PutPoint(TByteString& command, int point, bool replaceLowBits)
{
    if (point < 0 || command.size() < 2) return;
    if (replaceLowBits) command[1] &= 0xF0;
    command[1] |= static_cast<std::uint8_t>(point);
}

}  // namespace

TPointDialog::TPointDialog(QWidget* parent, int pointCount, const QString& pointLabel, int clientHeight)
    : TValueDialog(parent), pointCount_(pointCount)
{
    setWindowTitle(QStringLiteral("DialogForm"));
    resize(226, clientHeight);
    Label1 = new QLabel(pointLabel, this);
    Label1->move(16, 16);
    Label2 = new QLabel(QStringLiteral("Value"), this);
    Label2->move(80, 16);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setGeometry(16, 32, 49, 21);
    Edit1->setGeometry(80, 32, 129, 21);
    Button1->setGeometry(16, 64, 75, 25);
    Button2->setGeometry(136, 64, 75, 25);
    // Only a choice by the user reads the point; refilling on Open does not.
    connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
}

void TPointDialog::Open(std::uint8_t module, const TFnButton& button)
{
    Module = module;
    ClickCommand = button.ClickCommand;
    ValueCommand = button.ValueCommand;
    ComboBox1->clear();
    for (int point = 0; point < pointCount_; ++point) ComboBox1->addItem(QString::number(point));
    ComboBox1->setCurrentIndex(0);
    ShowForEntry(button.DialogCaption, button.Hint());
    if (!HasCommandHandler()) return;
    PutPoint(ClickCommand, ComboBox1->currentIndex(), false);
    RaiseCommand(ClickCommand);
}

void TPointDialog::ComboBox1Change()
{
    if (!HasCommandHandler()) return;
    PutPoint(ClickCommand, ComboBox1->currentIndex(), true);
    RaiseCommand(ClickCommand);
}

TByteString TPointDialog::WriteCommand() const
{
    TByteString command = ValueCommand;
    PutPoint(command, ComboBox1->currentIndex(), false);
    return command;
}
