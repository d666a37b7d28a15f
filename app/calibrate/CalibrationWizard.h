// Module > Calibrate...: the non-modal wizard that guides the calibration of
// one module step by step (TCalibrationFlow), carries its commands through
// the window's command queue one at a time, and watches the module's live
// gross weight from the cyclic data.
#pragma once

#include "CalibrationFlow.h"
#include "CalibrationPages.h"
#include "Certificate.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QStackedWidget;
class TForm1;

class TCalibrationWizard : public QDialog {
    Q_OBJECT
public:
    explicit TCalibrationWizard(TForm1& form);

    // Begins anew for the module selected in the window, unless a
    // calibration is under way (then it is only shown).
    void Begin();
    const TCalibrationFlow* Flow() const { return flow_.get(); }
    // Writes the certificate of the finished calibration; false with `error`.
    bool WriteCertificate(const QString& fileName, QString& error) const;

    QStackedWidget* Stack;
    TCalibrationPages Pages;
    QLabel* Problem;
    QPushButton* CancelButton;
    QPushButton* CloseButton;

protected:
    // Closing the window before the end cancels: the calibration is closed again.
    void reject() override;

private:
    void Answered();
    void GivenUp();
    void Weighed(int k, double gross);
    void Act(const std::function<void(TCalibrationFlow&)>& action);
    void Pump();
    void Refresh();
    void ShowWeigh(const TWeighRow& row) const;
    void AskCertificate();
    void PrintCertificateClick();
    TCertificateFacts Facts() const;
    QString Sends(TCalibrationFlow::TStep step) const;

    TForm1& form_;
    std::unique_ptr<TCalibrationFlow> flow_;
    std::optional<TByteString> sent_;  // the flow's command in the window's queue or on the line
    int slaveAddress_ = 0;
};

namespace calibrate {
// The window's one wizard, made on first use, begun for the selected module and shown.
TCalibrationWizard* Open(TForm1& form);
}  // namespace calibrate
