// The window's view of the line: the Line menu with the adapter allowance
// (remembered with the other settings) and the bus counters in the status
// bar, redrawn once a second. Owned by the main window, which outlives it.
#pragma once

#include <QObject>

class QAction;
class QLabel;
class QMenuBar;
class QStatusBar;
class QWidget;
class T_DPV0;

class TLineControl : public QObject {
public:
    // The Line menu goes into `menuBar` before `before`, the counters to the
    // right of `statusBar`; `window` parents the allowance box.
    TLineControl(T_DPV0& master, QMenuBar* menuBar, QAction* before, QStatusBar* statusBar, QWidget* window);

    // The adapter's allowance in the line discipline (0..1000 ms).
    void SetAdapterAllowance(int milliseconds);
    QLabel* CountersLabel() const { return counters_; }

private:
    // Line -> Adapter allowance...: a box asks for the new value.
    void AllowanceClick();
    void UpdateCounters();

    T_DPV0& master_;
    QWidget* window_;
    QAction* allowanceAction_;
    QLabel* counters_;  // "lbStatusBus"
};
