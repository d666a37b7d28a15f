// Line -> Bus statistics...: the full table of the bus counters since the
// last reset (each with its rate per minute over the last ten seconds), the
// cycle's least, mean and largest time, and since when it counts. Redrawn
// by its owner while shown.
#pragma once

#include <QDateTime>
#include <QDialog>

class QLabel;
class QTableWidget;

namespace busstats {
class TBusStatistics;
}

class TBusStatisticsView : public QDialog {
public:
    explicit TBusStatisticsView(QWidget* parent);

    void Show(const busstats::TBusStatistics& statistics, const QDateTime& since);
    QTableWidget* Table() const { return table_; }

private:
    QLabel* since_;
    QTableWidget* table_;
};
