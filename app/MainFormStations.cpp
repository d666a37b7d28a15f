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
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("WZM count"),
                                QStringLiteral("The slave has %1 modules, the WZM count is %2.\n"
                                               "Set the WZM count to %1?")
                                    .arg(modules)
                                    .arg(Master->ModuleCount()),
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("ModuleCountOffer"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::buttonClicked, this, [this, box, modules](QAbstractButton* button) {
        if (box->standardButton(button) == QMessageBox::Yes) SetModuleCountFromCode(modules);
    });
    box->open();
}
