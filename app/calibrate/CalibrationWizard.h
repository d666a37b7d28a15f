// Module > Calibrate...: the non-modal wizard that guides the calibration of
// one module step by step (TCalibrationFlow), carries its commands through
// the window's command queue one at a time, and watches the module's live
// gross weight from the cyclic data. The window hands it the end of every
// command and every gross reading.
#pragma once

#include "CalibrationPages.h"
#include "Certificate.h"
#include "core/CalibrationFlow.h"
#include "core/CommandClient.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QMessageBox;
class QStackedWidget;

class TCalibrationWizard : public QDialog {
    Q_OBJECT
public:
    // What the wizard asks of the window.
    struct THooks {
        std::function<std::uint8_t()> selectedModule;
        std::function<int()> slaveAddress;
        std::function<void(std::uint8_t unit, const TByteString& command)> queueCommand;
        // Writes a file whole or not at all; false with `error`.
        std::function<bool(const QString& fileName, const std::string& bytes, QString& error)> saveWhole;
    };

    // `window` parents the wizard.
    TCalibrationWizard(QWidget* window, THooks hooks);

    // Begins anew for the module selected in the window, unless a
    // calibration is under way (then it is only shown).
    void Begin();
    const TCalibrationFlow* Flow() const { return flow_.get(); }
    // Writes the certificate of the finished calibration, then names the file
    // on the end page; false with `error`.
    bool WriteCertificate(const QString& fileName, QString& error);
    // The end of a command the window carried (perhaps another's).
    void TakeResult(const TCommandResult& result);
    // A gross reading of module k.
    void Weighed(int k, double gross);

    QStackedWidget* Stack;
    TCalibrationPages Pages;
    QLabel* Problem;
    QPushButton* CancelButton;
    QPushButton* CloseButton;

protected:
    // Closing the window before the end cancels: the calibration is closed again.
    void reject() override;

private:
    void ZeroClick();
    void Act(const std::function<void(TCalibrationFlow&)>& action);
    void Pump();
    void Refresh();
    void ShowWeigh(const TWeighRow& row) const;
    void AskCertificate();
    void PrintCertificateClick();
    TCertificateFacts Facts() const;
    QString Sends(TCalibrationFlow::TStep step) const;

    THooks hooks_;
    std::unique_ptr<TCalibrationFlow> flow_;
    TCommandClient client_;  // the flow's command in the window's queue or on the line
    QMessageBox* zeroQuestion_ = nullptr;
    int slaveAddress_ = 0;
    QString certificateFile_;  // the certificate written for this run
};
