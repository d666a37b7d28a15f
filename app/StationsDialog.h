// "Find stations": lists the stations on the bus (the live list) while the
// link is stopped. The scan runs on the master's channel timer in the GUI
// thread, a few milliseconds per poll, so the window stays responsive; a
// progress bar follows the addresses. The stations are a table (address,
// type, Ident_Number, modules, diagnosis flags with Cfg_Fault and Prm_Fault
// in bold maroon). Choosing a station reports its address and, for a WZM
// slave, its module count.
#pragma once

#include "dp/Diagnosis.h"

#include <QDialog>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QLabel;
class QTableWidget;
class QProgressBar;
class QPushButton;
class TLiveListScan;
class T_DPV0;

class TStationsDialog : public QDialog {
    Q_OBJECT
public:
    TStationsDialog(T_DPV0& master, QWidget* parent);
    ~TStationsDialog() override;

    // Starts a new scan (the previous list is cleared); shows why not when
    // the link runs or no port is open.
    void Scan();
    bool Scanning() const;
    // The address of a master the last finished scan found, if any.
    std::optional<int> OtherMaster() const { return otherMaster_; }
    // Each slave's diagnosis read during the scan.
    void SetOnDiagnosis(std::function<void(const diag::TDiagnosis&)> handler) { onDiagnosis_ = std::move(handler); }

    // The diagnosis the last scan read from `address`, if any.
    std::optional<diag::TDiagnosis> DiagnosisOf(int address) const;

    // One row a station: address, type, Ident_Number, modules, diagnosis flags.
    QTableWidget* List() const { return list_; }
    QLabel* Status() const { return status_; }

signals:
    // modules is 0 for a station that is no WZM slave.
    void stationChosen(int address, int modules);

protected:
    void done(int result) override;  // closing ends a running scan

private:
    void Choose();

    std::unique_ptr<TLiveListScan> scan_;
    std::function<void(const diag::TDiagnosis&)> onDiagnosis_;
    QTableWidget* list_;
    QProgressBar* progress_;
    QLabel* status_;
    QPushButton* scanButton_;
    QPushButton* useButton_;
    std::optional<int> otherMaster_;
    std::map<int, diag::TDiagnosis> diagnoses_;  // by address, from the last scan
};
