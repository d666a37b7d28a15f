#include "FunctionButton.h"

#include <QGroupBox>

TFnButton::TFnButton(QWidget* parent) : TTagButton(parent) {}

void TFnButton::SetHint(const QString& hint)
{
    hint_ = hint;
    setToolTip(HintToToolTip(hint));
}

QString HintToToolTip(const QString& hint)
{
    QString text = hint;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

TFunctions::TFunctions(QGroupBox* box) : QObject(box), box_(box)
{
    BuildGrid();
    FillTable();
    EnablePass();
}

TFunctions::~TFunctions()
{
    // The box owns us as well as the keys and may have freed some already.
    for (const QPointer<TFnButton>& button : buttons_) delete button.data();
}

void TFunctions::BuildGrid()
{
    const int width = (box_->width() - 3) / 10;
    const int height = (box_->height() - 18) / 8;
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 10; ++column) {
            const int position = 10 * row + column;
            auto* button = new TFnButton(box_);
            buttons_[position] = button;
            button->Tag = position;
            button->setEnabled(false);
            button->setAutoDefault(false);
            button->setGeometry(column * width + 6, row * height + 16, width, height);
            connect(button, &QPushButton::clicked, this, [this, button] { ButtonClick(button); });
        }
    }
}

void TFunctions::FillTable()
{
    for (const TFnEntry& entry : FunctionTable()) {
        TFnButton* button = buttons_.at(entry.Position);
        button->setText(QString::fromLatin1(entry.Caption));
        button->SetHint(QString::fromLatin1(entry.Hint));
        button->Kind = entry.Kind;
        button->Used = entry.Used;
        button->DialogCaption = QString::fromLatin1(entry.DialogCaption);
        button->ValueCommand = entry.ValueCommand;
        button->ClickCommand = entry.ClickCommand;
    }
}

void TFunctions::EnablePass()
{
    for (const QPointer<TFnButton>& button : buttons_) button->setEnabled(button->Used && !button->text().isEmpty());
}

void TFunctions::ButtonClick(TFnButton* sender)
{
    if (onFunctionClick_) onFunctionClick_(sender);
}
