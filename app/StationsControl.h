// The window's live list and the slave's diagnosis: Find stations scans the
// line in a dialog (made at its first use), a station chosen there becomes
// the slave address (and the WZM count), Diagnosis shows the last diagnosis
// of the slave or of the station chosen. When no station answers at the
// address a box offers to stop and scan. Owned by the main window, which
// outlives it.
#pragma once

#include "dp/Diagnosis.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QWidget;
class T_DPV0;
class TDiagnosisView;
class TStationsDialog;

class TStationsControl : public QObject {
public:
    // What the control asks of the window.
    struct THooks {
        std::function<void(int address)> useAddress;  // into the address box, as if typed
        std::function<void(int modules)> useModuleCount;
        std::function<void()> stopLink;  // Stop, when the link runs
        std::function<void(const QString& line)> message;
    };

    // `window` parents the dialogs and boxes.
    TStationsControl(T_DPV0& master, QWidget* window, THooks hooks);
    ~TStationsControl() override;  // a running scan hands the channel back to the master

    // The Find stations button: shows the list and scans anew.
    void FindClick();
    // The Diagnosis button: the view of the last diagnosis.
    void DiagnosisClick();
    // A station chosen from the live list: its address, and its WZM count
    // unless `modules` is 0.
    void UseStation(int address, int modules);
    void DiagnosisReceived(const diag::TDiagnosis& diagnosis);
    // No station answers at `address`: a box offers to stop and find the
    // stations on the line ("NoStationBox"), unless the address changed or
    // the link stopped meanwhile.
    void OfferFind(int address);
    // Before Start: ends a running scan, which gives the channel back.
    void EndScan();
    // True when the last scan found another master: a box then asks before
    // `start` runs.
    bool WarnOfOtherMaster(const std::function<void()>& start);

    TStationsDialog* Dialog() const { return dialog_; }
    TDiagnosisView* DiagnosisView() const { return diagnosisView_; }

private:
    T_DPV0& master_;
    QWidget* window_;
    THooks hooks_;
    TStationsDialog* dialog_ = nullptr;
    TDiagnosisView* diagnosisView_ = nullptr;
    std::optional<diag::TDiagnosis> lastDiagnosis_;
    QDateTime lastDiagnosisAt_;
};
