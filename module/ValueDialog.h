// What the value-entry dialogs share: an edit for the value, Set and Cancel,
// and the step that turns the entered text into a command.
#pragma once

#include "ModuleEvents.h"
#include "core/CommandClient.h"

#include <QDialog>
#include <cstdint>
#include <optional>
#include <utility>

class QLineEdit;
class QPushButton;

class TValueDialog : public QDialog {
    Q_OBJECT
public:
    void SetOnCommand(TCommandEvent handler) { onCommand_ = std::move(handler); }

    // Set: appends the entered value (and the chosen point) to the write
    // command and raises OnCommand; text that is no signed 32-bit integer
    // gives the "Illegal data" box and sends nothing. Hides the dialog.
    void SetClick();
    // Cancel (also Escape and the title-bar close button): hides, sends nothing.
    void CancelClick();
    void reject() override;

    // The value of a command answer, shown in Edit1 in decimal.
    void ShowValue(std::int32_t value);
    // The command whose answer the dialog shows, known by its unit, Cmd and
    // Index (keys such as CE and CG share a Cmd and differ in the Index);
    // each opening forgets it, and a newer read replaces it.
    void AwaitAnswer(std::uint8_t unit, const TByteString& command);
    // Shows the answer of the awaited command once, unless the user has
    // changed the edit's text since it was set; a give-up ends the wait and
    // leaves the edit as it is.
    void TakeAnswer(const TCommandResult& result);

    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;  // "Set"
    QPushButton* Button2 = nullptr;  // "Cancel"
    std::uint8_t Module = 0;

protected:
    explicit TValueDialog(QWidget* parent);

    // The write command before the value is appended, with any point bits.
    virtual TByteString WriteCommand() const = 0;
    // Caption, hint and "?" in the edit; shows the dialog and focuses the edit.
    void ShowForEntry(const QString& caption, const QString& hint);
    // Raises OnCommand; the dialog then awaits the answer to this command.
    void RaiseCommand(const TByteString& command);
    bool HasCommandHandler() const { return static_cast<bool>(onCommand_); }

private:
    void ShowIllegalData();
    void Finish();

    TCommandEvent onCommand_;
    TCommandClient awaited_;
};
