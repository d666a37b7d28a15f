// The window's View menu: the weight plot (a window of its own that follows
// the module tab chosen) and every module at a glance, each made at its
// first opening, and the history of weights that the plot draws, recorded
// from every module block while connected, plot open or not. Owned by the
// main window, which outlives it.
#pragma once

#include "core/CyclicData.h"
#include "core/WeightHistory.h"

#include <QObject>
#include <QStringList>

#include <functional>

class QTabWidget;
class QWidget;
class TModulesOverview;
class TWeightPlot;

class TViewControl : public QObject {
public:
    // What the control asks of the window.
    struct THooks {
        std::function<int()> moduleCount;  // the modules served now
        std::function<int()> station;      // the slave address
    };

    // `modulePages` is the window's tab control of module pages (the plot
    // follows its tab), `modules` the history's slots; `window` parents the
    // two windows.
    TViewControl(QTabWidget* modulePages, int modules, THooks hooks, QWidget* window);

    // View -> Weight plot... and View -> All modules...
    void OpenWeightPlot();
    void OpenModulesOverview();
    TWeightPlot* WeightPlot() const { return weightPlot_; }
    TModulesOverview* ModulesOverview() const { return overview_; }

    // Module k's block: its weights and status bytes into the history.
    void RecordWeights(int k, const cyclic::TModuleValues& values);
    // Module k's row of the overview: `cells` as its page shows them.
    void ShowValues(int k, const QStringList& cells, bool live);
    // Module k's block stopped coming: its row is stale.
    void ShowStale(int k);
    void ShowAllStale();
    // Data exchange ended: a gap in the plot, marked as lost or as a Stop.
    void MarkLinkLost();
    void MarkStop();
    // Another station or module count: the history starts anew.
    void NewHistory();
    void SetModuleCount(int count);

private:
    QTabWidget* modulePages_;
    THooks hooks_;
    QWidget* window_;
    plot::TWeightHistory history_;
    TWeightPlot* weightPlot_ = nullptr;
    TModulesOverview* overview_ = nullptr;
};
