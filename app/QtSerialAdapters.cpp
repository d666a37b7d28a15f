#include "QtSerialAdapters.h"

#include "ErrorBox.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPalette>
#include <QSignalBlocker>

#include <algorithm>
#include <chrono>
#include <cstdint>

TComboCommit::TComboCommit(QComboBox* combo, std::function<void()> handler)
    : combo_(combo), handler_(std::move(handler)), lastText_(combo->currentText())
{
    QObject::connect(combo, &QComboBox::activated, combo, [this] { Commit(true); });
    if (QLineEdit* edit = combo->lineEdit())
        QObject::connect(edit, &QLineEdit::editingFinished, combo, [this] { Commit(false); });
}

void TComboCommit::Commit(bool always)
{
    const QString text = combo_->currentText();
    if (!always && text == lastText_) return;
    lastText_ = text;
    if (handler_) errorbox::Guard(handler_);
}

TQtPortChooser::TQtPortChooser(QComboBox* combo)
    : combo_(combo), commit_(combo, [this] {
          if (onChange_) onChange_();
      })
{
}

void TQtPortChooser::AddItem(const std::string& text, const std::string& toolTip)
{
    combo_->addItem(QString::fromStdString(text));
    combo_->setItemData(combo_->count() - 1, QString::fromStdString(toolTip), Qt::ToolTipRole);
    ShowWantedText();
}

void TQtPortChooser::Refill(const std::vector<std::pair<std::string, std::string>>& items)
{
    const QString text = combo_->currentText();
    const QSignalBlocker block(combo_);
    combo_->clear();
    for (const auto& [name, toolTip] : items) {
        combo_->addItem(QString::fromStdString(name));
        combo_->setItemData(combo_->count() - 1, QString::fromStdString(toolTip), Qt::ToolTipRole);
    }
    const int index = combo_->findText(text);
    if (index >= 0)
        combo_->setCurrentIndex(index);
    else
        combo_->setEditText(text);
    commit_.Acknowledge(text);
}

std::string TQtPortChooser::Text() const { return combo_->currentText().toStdString(); }

void TQtPortChooser::SetText(const std::string& text)
{
    wanted_ = QString::fromStdString(text);
    ShowWantedText();
}

// Adding the first item selects it; keep showing the text set from code.
void TQtPortChooser::ShowWantedText()
{
    if (wanted_.isNull()) return;
    const int index = combo_->findText(wanted_);
    if (index >= 0)
        combo_->setCurrentIndex(index);
    else
        combo_->setEditText(wanted_);
    combo_->setToolTip(combo_->itemData(index, Qt::ToolTipRole).toString());
    commit_.Acknowledge(wanted_);
}

TQtPollTimer::TQtPollTimer(std::function<void()> beforeEachExpiry) : before_(std::move(beforeEachExpiry))
{
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        errorbox::Guard([this] {
            if (before_) before_();
            if (onTimer_) onTimer_();
        });
    });
    wake_.setTimerType(Qt::PreciseTimer);
    wake_.setSingleShot(true);
    QObject::connect(&wake_, &QTimer::timeout, [this] { errorbox::Guard([this] { Woken(); }); });
}

void TQtPollTimer::WakeAt(std::chrono::steady_clock::time_point at)
{
    // Whole milliseconds, rounded up: never before the time asked for.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(at - std::chrono::steady_clock::now());
    wake_.start(static_cast<int>(std::max<std::int64_t>(0, left.count())));
}

void TQtPollTimer::SetEnabled(bool enabled)
{
    if (enabled == timer_.isActive()) return;
    if (enabled)
        timer_.start();
    else
        timer_.stop();
}

void TQtStatusEdit::ShowStatus(const std::string& text, const TStatusColour& colour)
{
    // A text wider than the edit ends in "…" and is whole in the tool tip
    // (and in the message memo and status bar, which show every status text).
    const QString whole = QString::fromStdString(text);
    const int room = edit_->width() - 12;  // frame and text margins
    edit_->setText(edit_->fontMetrics().elidedText(whole, Qt::ElideRight, room));
    edit_->setToolTip(whole);
    QPalette palette = edit_->palette();
    const QColor ink =
        colour.windowText ? QPalette().color(QPalette::Text) : QColor(colour.red, colour.green, colour.blue);
    palette.setColor(QPalette::Text, ink);
    edit_->setPalette(palette);
}
