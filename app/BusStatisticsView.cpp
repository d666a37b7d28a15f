#include "BusStatisticsView.h"

#include "core/BusStatistics.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

void SetCell(QTableWidget* table, int row, int column, const QString& text)
{
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        if (column > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
    if (item->text() != text) item->setText(text);
}

QString Ms(double ms) { return QStringLiteral("%1 ms").arg(ms, 0, 'f', 1); }

}  // namespace

TBusStatisticsView::TBusStatisticsView(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("BusStatistics"));
    setWindowTitle(QStringLiteral("Bus statistics"));
    since_ = new QLabel(this);
    table_ = new QTableWidget(0, 3, this);
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Counter"), QStringLiteral("Since reset"), QStringLiteral("Per minute (last 10 s)")});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(since_);
    layout->addWidget(table_, 1);
    layout->addWidget(buttons);
    resize(420, 420);
}

void TBusStatisticsView::Show(const busstats::TBusStatistics& statistics, const QDateTime& since)
{
    since_->setText(QStringLiteral("Counted since %1 (Line \u2192 Reset counters, or Start)")
                        .arg(since.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))));
    const std::vector<busstats::TCounterRow>& rows = busstats::CounterRows();
    const int cycleRows = 3;
    table_->setRowCount(static_cast<int>(rows.size()) + cycleRows);
    int r = 0;
    for (const busstats::TCounterRow& row : rows) {
        SetCell(table_, r, 0, QString::fromLatin1(row.name));
        SetCell(table_, r, 1, QString::number(statistics.Count(row)));
        SetCell(table_, r, 2, QString::number(statistics.PerMinute(row), 'f', 1));
        ++r;
    }
    const std::pair<const char*, double> cycle[] = {{"cycle, least", statistics.CycleMinMs()},
                                                    {"cycle, mean", statistics.CycleMeanMs()},
                                                    {"cycle, largest", statistics.CycleMaxMs()}};
    for (const auto& [name, ms] : cycle) {
        SetCell(table_, r, 0, QString::fromLatin1(name));
        SetCell(table_, r, 1, Ms(ms));
        SetCell(table_, r, 2, QString());
        ++r;
    }
}
