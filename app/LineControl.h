// The window's view of the line: the Line menu with the adapter allowance
// (remembered with the other settings), Reset counters and Bus statistics,
// and the bus counters in the status bar, redrawn once a second: counted
// since the last reset (the user's or the last Start), the lost and bad
// answers with their rate per minute. Owned by the main window, which
// outlives it.
#pragma once

#include "ElidingLabel.h"
#include "core/BusStatistics.h"

#include <QDateTime>
#include <QObject>

class QAction;
class QLabel;
class QMenuBar;
class QStatusBar;
class QWidget;
class T_DPV0;
class TBusStatisticsView;

class TLineControl : public QObject {
public:
    // The Line menu goes into `menuBar` before `before`, the counters to the
    // right of `statusBar`; `window` parents the allowance box and the
    // statistics.
    TLineControl(T_DPV0& master, QMenuBar* menuBar, QAction* before, QStatusBar* statusBar, QWidget* window);

    // The adapter's allowance in the line discipline (0..1000 ms).
    void SetAdapterAllowance(int milliseconds);
    QLabel* CountersLabel() const { return counters_; }
    // Line -> Reset counters, and each Start: counting begins anew.
    void ResetCounters();
    // Line -> Bus statistics...: the full table, made at its first use.
    void OpenStatistics();
    TBusStatisticsView* Statistics() const { return statistics_; }
    // Takes the counters now and redraws (the timer calls it once a second).
    void UpdateCounters();

private:
    // Line -> Adapter allowance...: a box asks for the new value.
    void AllowanceClick();
    busstats::TSnapshot Snapshot() const;

    T_DPV0& master_;
    QWidget* window_;
    QAction* allowanceAction_;
    TElidingLabel* counters_;  // "lbStatusBus"
    busstats::TBusStatistics counts_;
    QDateTime since_;
    TBusStatisticsView* statistics_ = nullptr;
};
