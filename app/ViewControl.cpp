#include "ViewControl.h"

#include "DialogPlacement.h"
#include "ModulesOverview.h"
#include "WeightPlot.h"

#include <QDateTime>
#include <QScreen>
#include <QTabWidget>

#include <algorithm>

TViewControl::TViewControl(QTabWidget* modulePages, int modules, THooks hooks, QWidget* window)
    : modulePages_(modulePages), hooks_(std::move(hooks)), window_(window), history_(modules)
{
}

void TViewControl::OpenWeightPlot()
{
    if (!weightPlot_) {
        weightPlot_ = new TWeightPlot(history_, window_);
        weightPlot_->SetModule(std::max(0, modulePages_->currentIndex()));
        weightPlot_->SetStation(hooks_.station());
        connect(modulePages_, &QTabWidget::currentChanged, weightPlot_,
                [plot = weightPlot_](int index) { plot->SetModule(index); });
        // No larger than the screen, and over the window each time it opens.
        if (const QScreen* screen = window_->screen())
            weightPlot_->resize(weightPlot_->size().boundedTo(screen->availableGeometry().size() * 9 / 10));
        CentreOnShow(weightPlot_, window_);
    }
    weightPlot_->show();
    weightPlot_->raise();
    weightPlot_->activateWindow();
}

void TViewControl::OpenModulesOverview()
{
    if (!overview_) {
        overview_ = new TModulesOverview(window_);
        overview_->SetCount(hooks_.moduleCount());
        CentreOnShow(overview_, window_);
    }
    overview_->show();
    overview_->raise();
}

void TViewControl::RecordWeights(int k, const cyclic::TModuleValues& values)
{
    history_.Add(k, plot::TWeightSample{QDateTime::currentMSecsSinceEpoch(), values.Gross, values.Net,
                                        values.StatusByte12, values.StatusByte11});
}

void TViewControl::ShowValues(int k, const QStringList& cells, bool live)
{
    if (overview_) overview_->ShowValues(k, cells, live);
}

void TViewControl::ShowStale(int k)
{
    if (overview_) overview_->SetLive(k, false);
}

void TViewControl::ShowAllStale()
{
    if (overview_) overview_->SetAllStale();
}

void TViewControl::MarkLinkLost() { history_.MarkLinkLost(QDateTime::currentMSecsSinceEpoch()); }

void TViewControl::MarkStop() { history_.MarkStop(QDateTime::currentMSecsSinceEpoch()); }

void TViewControl::NewHistory()
{
    history_.Clear();
    if (weightPlot_) weightPlot_->SetStation(hooks_.station());
}

void TViewControl::SetModuleCount(int count)
{
    if (overview_) overview_->SetCount(count);
}
