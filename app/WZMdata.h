// The process-data page of one weighing module: a tab of the main window's
// module page control with eight labelled edits (gross and net weight,
// qualifier, trend value, limit status, status bytes, manufacturer bytes,
// total mass). The page only displays; the main window writes its edits.
#pragma once

#include <QObject>
#include <QPointer>

class QLabel;
class QLineEdit;
class QTabWidget;
class QWidget;

class TWZMdata : public QObject {
    Q_OBJECT
public:
    // Builds the page and appends its tab (caption "WZM") as the last tab.
    explicit TWZMdata(QTabWidget* pageControl);
    // Frees the edits and labels, then the tab page, which removes the tab.
    ~TWZMdata() override;

    // Live values look normal; stale ones (link down, block missing) are
    // greyed with the last values kept.
    void SetLive(bool live);

    QPointer<QWidget> TabSheet;
    QLabel* lbGross;
    QLabel* lbNet;
    QLabel* lbQualifier;
    QLabel* lbTrend;
    QLabel* lbLimitStatus;
    QLabel* lbStatusBytes;
    QLabel* lbManufacturerBytes;
    QLabel* lbTotalMass;
    QLineEdit* edbxGross;
    QLineEdit* edbxNet;
    QLineEdit* edbxQualifier;
    QLineEdit* edbxTrend;
    QLineEdit* edbxLimitStatus;
    QLineEdit* edbxStatusBytes;
    QLineEdit* edbxManufacturerBytes;
    QLineEdit* edbxTotalMass;
};
