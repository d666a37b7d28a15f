#include "Dialog1.h"

#include <QLineEdit>
#include <QPushButton>

TDialogForm1::TDialogForm1(QWidget* parent) : TValueDialog(parent)
{
    // Dialog border without title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("DialogForm1"));
    setFixedSize(212, 109);
    Edit1->setGeometry(24, 24, 161, 21);
    Button1->setGeometry(24, 64, 75, 25);
    Button2->setGeometry(112, 64, 75, 25);
    move(241, 228);
}

void TDialogForm1::Open(const QString& caption, const QString& hint) { ShowForEntry(caption, hint); }

void TDialogForm1::SetTarget(std::uint8_t module, const TByteString& command)
{
    Module = module;
    Command = command;
}
