// View -> All modules: every module at a glance, one row a module (gross,
// net, qualifier, limit status, status bytes); a row whose values are stale
// (link down, block missing) is greyed with its last values kept.
#pragma once

#include <QDialog>
#include <QStringList>

class QTableWidget;

class TModulesOverview : public QDialog {
public:
    static constexpr int Columns = 5;

    explicit TModulesOverview(QWidget* parent);

    // One row for each of `modules` modules.
    void SetCount(int modules);
    // Module `module`'s texts (Columns of them), live or stale.
    void ShowValues(int module, const QStringList& cells, bool live);
    void SetLive(int module, bool live);
    void SetAllStale();

    QTableWidget* Table() const { return table_; }

private:
    QTableWidget* table_;
};
