#include "ModulesOverview.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

TModulesOverview::TModulesOverview(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ModulesOverview"));
    setWindowTitle(QStringLiteral("All modules"));
    table_ = new QTableWidget(0, Columns, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("Gross"), QStringLiteral("Net"), QStringLiteral("Qualifier"),
                                       QStringLiteral("Limit status"), QStringLiteral("Status bytes")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    resize(560, 300);
}

void TModulesOverview::SetCount(int modules)
{
    const int old = table_->rowCount();
    table_->setRowCount(modules);
    for (int row = old; row < modules; ++row) {
        table_->setVerticalHeaderItem(row, new QTableWidgetItem(QStringLiteral("WZM %1").arg(row)));
        for (int column = 0; column < Columns; ++column) table_->setItem(row, column, new QTableWidgetItem);
        SetLive(row, false);
    }
}

void TModulesOverview::ShowValues(int module, const QStringList& cells, bool live)
{
    if (module >= table_->rowCount()) return;
    for (int column = 0; column < Columns && column < cells.size(); ++column)
        if (table_->item(module, column)->text() != cells[column]) table_->item(module, column)->setText(cells[column]);
    SetLive(module, live);
}

void TModulesOverview::SetLive(int module, bool live)
{
    if (module >= table_->rowCount()) return;
    const Qt::ItemFlags flags = live ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::ItemIsSelectable;
    for (int column = 0; column < Columns; ++column)
        if (table_->item(module, column)->flags() != flags) table_->item(module, column)->setFlags(flags);
}

void TModulesOverview::SetAllStale()
{
    for (int row = 0; row < table_->rowCount(); ++row) SetLive(row, false);
}
