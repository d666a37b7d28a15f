// The main window's side of the weight plot: its menu entry, and the history
// every module block is recorded into.
#include "MainForm.h"

#include "WeightPlot.h"

#include <QAction>
#include <QDateTime>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>

void TForm1::BuildViewMenu()
{
    QMenu* view = MenuBar->addMenu(QStringLiteral("&View"));
    QAction* plot = view->addAction(QStringLiteral("&Weight plot..."));
    plot->setObjectName(QStringLiteral("actWeightPlot"));
    connect(plot, &QAction::triggered, this, [this] { OpenWeightPlot(); });
    connect(view->addAction(QStringLiteral("&All modules...")), &QAction::triggered, this,
            [this] { OpenModulesOverview(); });
}

void TForm1::OpenWeightPlot()
{
    if (!weightPlot_) {
        weightPlot_ = new TWeightPlot(weightHistory_, this);
        weightPlot_->SetModule(std::max(0, PageControl1->currentIndex()));
        connect(PageControl1, &QTabWidget::currentChanged, weightPlot_,
                [this](int index) { weightPlot_->SetModule(index); });
    }
    weightPlot_->show();
    weightPlot_->raise();
    weightPlot_->activateWindow();
}

void TForm1::RecordWeights(int k, const cyclic::TModuleValues& values)
{
    weightHistory_.Add(k, plot::TWeightSample{QDateTime::currentMSecsSinceEpoch(), values.Gross, values.Net,
                                              values.StatusByte12, values.StatusByte11});
}
