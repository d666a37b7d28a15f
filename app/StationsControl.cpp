#include "StationsControl.h"

#include "DiagnosisView.h"
#include "ErrorBox.h"
#include "StationsDialog.h"
#include "dp/LiveList.h"
#include "dp/Profi_dp.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

TStationsControl::TStationsControl(T_DPV0& master, QWidget* window, THooks hooks)
    : master_(master), window_(window), hooks_(std::move(hooks))
{
}

TStationsControl::~TStationsControl() { delete dialog_; }

void TStationsControl::FindClick()
{
    if (!dialog_) {
        dialog_ = new TStationsDialog(master_, window_);
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->SetOnDiagnosis([this](const diag::TDiagnosis& d) { DiagnosisReceived(d); });
        connect(dialog_, &TStationsDialog::stationChosen, this,
                [this](int address, int modules) { errorbox::Guard([&] { UseStation(address, modules); }); });
    }
    dialog_->open();  // no nested event loop: the scan runs on the window's timer
    dialog_->Scan();
}

void TStationsControl::UseStation(int address, int modules)
{
    hooks_.useAddress(address);
    hooks_.message(QStringLiteral("Profibus address %1 taken from the live list").arg(address));
    // Diagnosis shows the station chosen, not the last one scanned.
    if (dialog_)
        if (const auto diagnosis = dialog_->DiagnosisOf(address)) DiagnosisReceived(*diagnosis);
    if (modules > 0) hooks_.useModuleCount(modules);
}

void TStationsControl::DiagnosisClick()
{
    if (!diagnosisView_) diagnosisView_ = new TDiagnosisView(window_);
    if (lastDiagnosis_) diagnosisView_->Show(*lastDiagnosis_, lastDiagnosisAt_);
    diagnosisView_->show();
    diagnosisView_->raise();
}

void TStationsControl::DiagnosisReceived(const diag::TDiagnosis& diagnosis)
{
    lastDiagnosis_ = diagnosis;
    lastDiagnosisAt_ = QDateTime::currentDateTime();
    if (diagnosisView_) diagnosisView_->Show(diagnosis, lastDiagnosisAt_);
}

void TStationsControl::OfferFind(int address)
{
    if (address != master_.SlaveAddress || master_.CurrentState().State == stIdle) return;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("No station answers"),
                                QStringLiteral("No station answers at address %1.\n\n"
                                               "Check the address and the cable, or stop and find the stations "
                                               "on the line.")
                                    .arg(address),
                                QMessageBox::NoButton, window_);
    box->setObjectName(QStringLiteral("NoStationBox"));
    QPushButton* find = box->addButton(QStringLiteral("&Find stations"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("&Keep trying"), QMessageBox::RejectRole);
    box->setDefaultButton(find);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::buttonClicked, this, [this, find](QAbstractButton* button) {
        if (button != find) return;
        errorbox::Guard([this] {
            hooks_.stopLink();
            FindClick();
        });
    });
    box->open();
}

void TStationsControl::EndScan()
{
    if (dialog_) dialog_->reject();
}

bool TStationsControl::WarnOfOtherMaster(const std::function<void()>& start)
{
    const std::optional<int> other = dialog_ ? dialog_->OtherMaster() : std::nullopt;
    if (!other) return false;
    auto* box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Another master"),
                        QString::fromStdString(OtherMasterWarning(*other)) + QStringLiteral("\n\nStart anyway?"),
                        QMessageBox::Yes | QMessageBox::No, window_);
    box->setObjectName(QStringLiteral("OtherMasterWarning"));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::buttonClicked, this, [box, start](QAbstractButton* button) {
        if (box->standardButton(button) == QMessageBox::Yes) start();
    });
    box->open();
    return true;
}
