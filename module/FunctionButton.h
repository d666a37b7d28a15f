// The function-key panel: 80 buttons in a group box, one per module command.
#pragma once

#include "module/core/FunctionTable.h"
#include "TagWidgets.h"
#include "base/ByteString.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>

class QGroupBox;

// One function key. Tag is its position 0..79.
class TFnButton : public TTagButton {
    Q_OBJECT
public:
    explicit TFnButton(QWidget* parent);

    // The explanation as the module documents it; '\r' separates lines. The
    // tooltip shows the same text with real line breaks.
    QString Hint() const { return hint_; }
    void SetHint(const QString& hint);

    bool Used = false;
    TFnKind Kind = fkNone;
    QString DialogCaption;
    TByteString ValueCommand;
    TByteString ClickCommand;

private:
    QString hint_;
};

// A '\r'-separated hint as tooltip text (a lone carriage return is a line break).
QString HintToToolTip(const QString& hint);

class TFunctions : public QObject {
    Q_OBJECT
public:
    static constexpr int ButtonCount = 80;
    using TFunctionClickEvent = std::function<void(TFnButton* button)>;

    // Fills `box` with the grid and the command table; the box owns the buttons.
    explicit TFunctions(QGroupBox* box);
    ~TFunctions() override;

    void SetOnFunctionClick(TFunctionClickEvent handler) { onFunctionClick_ = std::move(handler); }
    // The click handler of every key: raises OnFunctionClick with the key.
    void ButtonClick(TFnButton* sender);

    QGroupBox* Box() const { return box_; }
    TFnButton* Button(int position) const { return buttons_.at(position).data(); }

private:
    void BuildGrid();
    void FillTable();
    void EnablePass();

    QGroupBox* box_;
    std::array<QPointer<TFnButton>, ButtonCount> buttons_{};
    TFunctionClickEvent onFunctionClick_;
};
