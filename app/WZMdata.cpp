#include "WZMdata.h"

#include "FormWidgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

namespace {

constexpr int LeftColumn = 24;
constexpr int RightColumn = 176;
constexpr int FirstRow = 16;
constexpr int RowPitch = 40;
constexpr int EditBelowLabel = 16;
constexpr int FieldWidth = 121;

QLabel* MakeLabel(QWidget* page, const char* caption, int left, int top)
{
    return PlaceLabel(page, caption, left, top, FieldWidth);
}

// Each edit starts empty (or with a grey hint) and sits below its label.
QLineEdit* MakeEdit(QWidget* page, const char* name, const QLabel* label, const char* hint = nullptr)
{
    return PlaceNamedEdit(page, name, label->x(), label->y() + EditBelowLabel, FieldWidth, -1, hint);
}

// Trend value and total mass come from commands, not from the cyclic data.
constexpr const char* NotRead = "not read";

}  // namespace

TWZMdata::TWZMdata(QTabWidget* pageControl) : QObject(pageControl)
{
    TabSheet = new QWidget;
    pageControl->addTab(TabSheet, QStringLiteral("WZM"));

    QWidget* page = TabSheet;
    lbGross = MakeLabel(page, "Gross Weight", LeftColumn, FirstRow);
    lbNet = MakeLabel(page, "Net Weight", lbGross->x(), lbGross->y() + RowPitch);
    lbQualifier = MakeLabel(page, "Qualifier", lbGross->x(), lbNet->y() + RowPitch);
    lbTrend = MakeLabel(page, "Trend value", lbGross->x(), lbQualifier->y() + RowPitch);
    lbLimitStatus = MakeLabel(page, "Limit Status", RightColumn, lbGross->y());
    lbStatusBytes = MakeLabel(page, "Status Bytes", lbLimitStatus->x(), lbNet->y());
    lbManufacturerBytes = MakeLabel(page, "Manufacturer Bytes", lbLimitStatus->x(), lbQualifier->y());
    lbTotalMass = MakeLabel(page, "Total Mass", lbLimitStatus->x(), lbTrend->y());

    edbxGross = MakeEdit(page, "edbxGross", lbGross);
    edbxNet = MakeEdit(page, "edbxNet", lbNet);
    edbxQualifier = MakeEdit(page, "edbxQualifier", lbQualifier);
    edbxTrend = MakeEdit(page, "edbxTrend", lbTrend, NotRead);
    edbxLimitStatus = MakeEdit(page, "edbxLimitStatus", lbLimitStatus);
    edbxStatusBytes = MakeEdit(page, "edbxStatusBytes", lbStatusBytes);
    edbxManufacturerBytes = MakeEdit(page, "edbxManufacturerBytes", lbManufacturerBytes);
    edbxTotalMass = MakeEdit(page, "edbxTotalMass", lbTotalMass, NotRead);
}

void TWZMdata::SetLive(bool live)
{
    for (QLineEdit* e : {edbxGross, edbxNet, edbxQualifier, edbxTrend, edbxLimitStatus, edbxStatusBytes,
                         edbxManufacturerBytes, edbxTotalMass})
        e->setEnabled(live);
}

TWZMdata::~TWZMdata()
{
    // The page control may already have taken the tab page down with it.
    if (!TabSheet) return;
    for (QLineEdit* e : {edbxGross, edbxNet, edbxQualifier, edbxTrend, edbxLimitStatus, edbxStatusBytes,
                         edbxManufacturerBytes, edbxTotalMass})
        delete e;
    for (QLabel* l :
         {lbGross, lbNet, lbQualifier, lbTrend, lbLimitStatus, lbStatusBytes, lbManufacturerBytes, lbTotalMass})
        delete l;
    delete TabSheet.data();
}
