#include "FillCell.h"

#include <QApplication>
#include <QPalette>

namespace {

void SetEditBackground(QLineEdit* edit, const QColor& colour)
{
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, colour);
    edit->setPalette(palette);
}

}  // namespace

TFillCell::~TFillCell()
{
    delete NameLabel.data();
    delete Edit.data();
    delete SetButton.data();
}

void TFillCell::ShowValue(std::int32_t value)
{
    SetEditBackground(Edit, QApplication::palette(Edit).color(QPalette::Base));
    Edit->setText(QString::number(value));
    SetButton->setEnabled(false);
}

void TFillCell::MarkNotRead()
{
    SetEditBackground(Edit, QApplication::palette(Edit).color(QPalette::Base));
    Edit->setEnabled(true);
    Edit->clear();
    Edit->setPlaceholderText(QStringLiteral("not read"));
}

void TFillCell::MarkUnavailable()
{
    SetEditBackground(Edit, QColor(0xD4, 0xD4, 0xD4));
    Edit->setEnabled(false);
    Edit->setModified(false);
    SetButton->setEnabled(false);
}
