#include "app/WZMdata.h"

#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <gtest/gtest.h>

TEST(WZMdata, NewPageShowsLabelsAndEditsWithTheirInitialTexts)
{
    QTabWidget tabs;
    TWZMdata page(&tabs);
    ASSERT_EQ(tabs.count(), 1);
    EXPECT_EQ(tabs.tabText(0), "WZM");
    const std::pair<QLabel*, const char*> labels[] = {{page.lbGross, "Gross Weight"},
                                                      {page.lbNet, "Net Weight"},
                                                      {page.lbQualifier, "Qualifier"},
                                                      {page.lbTrend, "Trend value"},
                                                      {page.lbLimitStatus, "Limit Status"},
                                                      {page.lbStatusBytes, "Status Bytes"},
                                                      {page.lbManufacturerBytes, "Manufacturer Bytes"},
                                                      {page.lbTotalMass, "Total Mass"}};
    for (const auto& [label, caption] : labels) EXPECT_EQ(label->text(), caption);
    const std::pair<QLineEdit*, QLabel*> edits[] = {{page.edbxGross, page.lbGross},
                                                    {page.edbxNet, page.lbNet},
                                                    {page.edbxQualifier, page.lbQualifier},
                                                    {page.edbxTrend, page.lbTrend},
                                                    {page.edbxLimitStatus, page.lbLimitStatus},
                                                    {page.edbxStatusBytes, page.lbStatusBytes},
                                                    {page.edbxManufacturerBytes, page.lbManufacturerBytes},
                                                    {page.edbxTotalMass, page.lbTotalMass}};
    for (const auto& [edit, label] : edits) {
        EXPECT_EQ(edit->text(), "") << "a field with no value yet shows no control's name";
        EXPECT_EQ(edit->x(), label->x());
        EXPECT_EQ(edit->y(), label->y() + 16);
        EXPECT_EQ(edit->width(), 121);
    }
    EXPECT_EQ(page.lbGross->pos(), QPoint(24, 16));
    EXPECT_EQ(page.lbTrend->pos(), QPoint(24, 136));
    EXPECT_EQ(page.lbTotalMass->pos(), QPoint(176, 136));
}

TEST(WZMdata, FreeingAPageRemovesItsTab)
{
    QTabWidget tabs;
    auto* first = new TWZMdata(&tabs);
    auto* second = new TWZMdata(&tabs);
    tabs.setTabText(1, "WZM 1");
    ASSERT_EQ(tabs.count(), 2);
    delete second;
    EXPECT_EQ(tabs.count(), 1);
    EXPECT_EQ(tabs.widget(0), first->TabSheet.data());
}

TEST(WZMdata, SurvivesItsPageControlGoingFirst)
{
    auto* tabs = new QTabWidget;
    auto* page = new TWZMdata(tabs);
    QPointer<TWZMdata> watch(page);
    delete tabs;  // takes the tab page and the component with it
    EXPECT_TRUE(watch.isNull());
}
