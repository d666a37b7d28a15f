// Mass flow control dialog of the LC key: shows the flow state, sends
// Start/Pause/Stop followed by a state read (the dialog stays open), and while the flow control runs polls trend and
// total mass every five seconds, also while hidden.
#pragma once

#include "ModuleEvents.h"

#include <QDialog>
#include <cstdint>

class QLabel;
class QPushButton;
class QTimer;
class TFnButton;

class TDialogForm3 : public QDialog {
    Q_OBJECT
public:
    // Control values appended to the write command 29 81.
    static constexpr std::int32_t StartValue = 0x13;
    static constexpr std::int32_t PauseValue = 0x30;
    static constexpr std::int32_t StopValue = 0x00;
    static constexpr int PollEveryTicks = 5;

    explicit TDialogForm3(QWidget* parent = nullptr);
    ~TDialogForm3() override;

    void SetOnCommand(TCommandEvent handler) { onCommand_ = std::move(handler); }
    // Copies the key's commands and shows the dialog with an unknown state.
    void Open(std::uint8_t module, const TFnButton& button);
    // An answer to a mass flow command; only code 29, index 1 (the state) counts.
    void UpdateState(std::uint8_t code, std::uint8_t index, std::int32_t value);

    // Escape and the title-bar close button only hide the dialog.
    void reject() override { hide(); }

    void StartClick();
    void PauseClick();
    void StopClick();
    // FlowTimer's handler (every second): every fifth tick reads 29 04 and 29 05.
    void FlowPollTick();

    QLabel* lbLiwStateText = nullptr;
    QLabel* lbLiwState = nullptr;
    QLabel* lbLiwValue = nullptr;
    QPushButton* btLiwStart = nullptr;
    QPushButton* btLiwPause = nullptr;
    QPushButton* btLiwStop = nullptr;

    TByteString ClickCommand;
    TByteString ValueCommand;
    std::uint8_t Module = 0;
    std::int32_t FlowState = 0;
    QTimer* FlowTimer = nullptr;
    std::int32_t FlowTicks = 0;

private:
    void PlaceStateLabels();
    void SendControl(std::int32_t controlValue);
    void RaiseCommand(const TByteString& command) const;

    TCommandEvent onCommand_;
};
