// The weight plot window: gross (solid) and net (dashed) weight over a rolling
// window of 1, 5 or 15 minutes for the chosen module or for all modules, drawn
// from the history the main window records. It redraws once a second while
// shown, each series reduced to the plot's pixel width; a red vertical line
// marks each time the link was lost, a grey one each Stop. Pause freezes the
// window; Export CSV writes the samples and marks of the window shown with
// the station they come from. Drawn with QtGui alone
// (TWeightCanvas), the same on every platform.
#pragma once

#include "core/WeightHistory.h"

#include <QList>
#include <QPointF>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class TWeightCanvas;

class TWeightPlot : public QWidget {
    Q_OBJECT
public:
    static constexpr int RedrawMs = 1000;

    // `history` must outlive the window.
    explicit TWeightPlot(const plot::TWeightHistory& history, QWidget* parent = nullptr);
    ~TWeightPlot() override;

    // The module shown when "All modules" is off (the main window's tab).
    void SetModule(int module);
    int Module() const { return module_; }
    // The slave address the history comes from (named in the info and the CSV).
    void SetStation(int station);
    // Milliseconds since 1970; the wall clock unless replaced (the benchmark
    // runs time faster).
    void SetClock(std::function<std::int64_t()> clock) { clock_ = std::move(clock); }

    bool Paused() const;
    void SetPaused(bool paused);
    std::int64_t WindowMs() const;
    // The time span shown: the last WindowMs() up to now, or up to the pause.
    std::int64_t ShownFromMs() const { return fromMs_; }
    std::int64_t ShownToMs() const { return toMs_; }
    std::vector<int> ShownModules() const;

    // Draws now (the timer calls it while the window is shown and not paused).
    void Redraw();
    // The samples of the window shown as CSV, the file then named in the
    // info; throws with the reason when the file cannot be written.
    void ExportCsv(const QString& fileName);

    // What the last redraw drew, for tests.
    int PointsShown() const { return pointsShown_; }
    int LinkLossesShown() const { return lossesShown_; }
    int StopsShown() const { return stopsShown_; }

    QComboBox* cbxWindow;
    QCheckBox* cbAllModules;
    QPushButton* PauseButton;
    QPushButton* ExportButton;
    QLabel* lbInfo;
    QLabel* lbLegend;          // module colours and the link-lost line
    TWeightCanvas* ChartView;  // the drawing surface

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ExportClick();
    // The window's end follows the clock unless paused.
    void UpdateSpan();
    void ShowLegend(const std::vector<int>& modules);

    const plot::TWeightHistory& history_;
    std::function<std::int64_t()> clock_;
    int module_ = 0;
    std::int64_t fromMs_ = 0;
    std::int64_t toMs_ = 0;
    QTimer* timer_;
    std::vector<plot::TPoint> reducedGross_;  // reused by every redraw
    std::vector<plot::TPoint> reducedNet_;
    QList<QPointF> points_;
    int pointsShown_ = 0;
    int lossesShown_ = 0;
    int stopsShown_ = 0;
    QString exported_;  // the file the last export wrote
    int station_ = 0;
};
