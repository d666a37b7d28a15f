// The main window's live list ("Find stations"), the view of the slave's
// last diagnosis, and the offer to take the slave's module count when it
// refuses the configuration.
#include "MainForm.h"

#include "DiagnosisView.h"
#include "ErrorBox.h"
#include "StationsDialog.h"
#include "dp/Profi_dp.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>

void TForm1::FindStationsClick()
{
    if (!stationsDialog_) {
        stationsDialog_ = new TStationsDialog(*Master, this);
        stationsDialog_->setWindowModality(Qt::WindowModal);
        stationsDialog_->SetOnDiagnosis([this](const diag::TDiagnosis& d) { DiagnosisReceived(d); });
        connect(stationsDialog_, &TStationsDialog::stationChosen, this,
                [this](int address, int modules) { errorbox::Guard([&] { UseStation(address, modules); }); });
    }
    stationsDialog_->open();  // no nested event loop: the scan runs on the window's timer
    stationsDialog_->Scan();
}

void TForm1::UseStation(int address, int modules)
{
    cbxProfiAddr->setEditText(QString::number(address));
    cbxProfiAddrChange();
    AddMessage(QStringLiteral("Profibus address %1 taken from the live list").arg(address));
    // Diagnosis shows the station chosen, not the last one scanned.
    if (stationsDialog_)
        if (const auto diagnosis = stationsDialog_->DiagnosisOf(address)) DiagnosisReceived(*diagnosis);
    if (modules > 0) SetModuleCountFromCode(modules);
}

void TForm1::SetModuleCountFromCode(int modules)
{
    if (modules < 1 || modules >= cbxNumWZMs->count()) return;
    cbxNumWZMs->setCurrentIndex(modules);
    cbxNumWZMsChange();
}

void TForm1::DiagnosisClick()
{
    if (!diagnosisView_) diagnosisView_ = new TDiagnosisView(this);
    if (lastDiagnosis_) diagnosisView_->Show(*lastDiagnosis_, lastDiagnosisAt_);
    diagnosisView_->show();
    diagnosisView_->raise();
}

void TForm1::DiagnosisReceived(const diag::TDiagnosis& diagnosis)
{
    lastDiagnosis_ = diagnosis;
    lastDiagnosisAt_ = QDateTime::currentDateTime();
    if (diagnosisView_) diagnosisView_->Show(diagnosis, lastDiagnosisAt_);
}

void TForm1::OfferSlaveModuleCount(int modules)
{
    if (modules < 1 || modules >= cbxNumWZMs->count() || modules == Master->ModuleCount()) return;
    auto* box =
        new QMessageBox(QMessageBox::Question, QStringLiteral("WZM count"),
                        QStringLiteral("The slave has %1, the WZM count is %2.\n"
                                       "Set the WZM count to %3?")
                            .arg(modules == 1 ? QStringLiteral("1 module") : QStringLiteral("%1 modules").arg(modules))
                            .arg(Master->ModuleCount())
                            .arg(modules),
                        QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("ModuleCountOffer"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::buttonClicked, this, [this, box, modules](QAbstractButton* button) {
        if (box->standardButton(button) == QMessageBox::Yes) SetModuleCountFromCode(modules);
    });
    box->open();
}

void TForm1::OfferFindStations(int address)
{
    if (address != Master->SlaveAddress || Master->CurrentState().State == stIdle) return;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("No station answers"),
                                QStringLiteral("No station answers at address %1.\n\n"
                                               "Check the address and the cable, or stop and find the stations "
                                               "on the line.")
                                    .arg(address),
                                QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("NoStationBox"));
    QPushButton* find = box->addButton(QStringLiteral("&Find stations"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("&Keep trying"), QMessageBox::RejectRole);
    box->setDefaultButton(find);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::buttonClicked, this, [this, find](QAbstractButton* button) {
        if (button != find) return;
        errorbox::Guard([this] {
            if (StopButton->isEnabled()) StopButtonClick();
            FindStationsClick();
        });
    });
    box->open();
}
