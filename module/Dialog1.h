// Single-value dialog of the fkValue function keys.
#pragma once

#include "ValueDialog.h"

class TDialogForm1 : public TValueDialog {
    Q_OBJECT
public:
    explicit TDialogForm1(QWidget* parent = nullptr);

    // Shows the dialog with the key's dialog caption and hint, "?" in the edit.
    void Open(const QString& caption, const QString& hint);
    // Module and write command (the key's ValueCommand) for the next Set.
    void SetTarget(std::uint8_t module, const TByteString& command);

    TByteString Command;

protected:
    TByteString WriteCommand() const override { return Command; }
};
