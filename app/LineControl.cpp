#include "LineControl.h"

#include "BusStatisticsView.h"
#include "DialogPlacement.h"
#include "ElidingLabel.h"
#include "dp/Profi_dp.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>

namespace {

constexpr int CountersPeriod = 1000;  // ms

QString AllowanceText(int milliseconds) { return QStringLiteral("&Adapter allowance (%1 ms)...").arg(milliseconds); }

}  // namespace

TLineControl::TLineControl(T_DPV0& master, QMenuBar* menuBar, QAction* before, QStatusBar* statusBar, QWidget* window)
    : master_(master), window_(window)
{
    auto* line = new QMenu(QStringLiteral("&Line"), menuBar);
    menuBar->insertMenu(before, line);
    allowanceAction_ = line->addAction(AllowanceText(master_.CommUnit().AdapterAllowance()));
    allowanceAction_->setObjectName(QStringLiteral("actAdapterAllowance"));
    connect(allowanceAction_, &QAction::triggered, this, [this] { AllowanceClick(); });
    QAction* reset = line->addAction(QStringLiteral("&Reset counters"));
    reset->setObjectName(QStringLiteral("actResetCounters"));
    connect(reset, &QAction::triggered, this, [this] { ResetCounters(); });
    QAction* statistics = line->addAction(QStringLiteral("Bus &statistics..."));
    statistics->setObjectName(QStringLiteral("actBusStatistics"));
    connect(statistics, &QAction::triggered, this, [this] { OpenStatistics(); });

    counters_ = new TElidingLabel(statusBar);
    counters_->setObjectName(QStringLiteral("lbStatusBus"));
    statusBar->addPermanentWidget(counters_);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { UpdateCounters(); });
    timer->start(CountersPeriod);
    ResetCounters();
}

void TLineControl::AllowanceClick()
{
    auto* box = new QInputDialog(window_);
    box->setObjectName(QStringLiteral("AdapterAllowanceBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("Adapter allowance"));
    box->setLabelText(
        QStringLiteral("Time an RS-485 adapter may add to an answer\n"
                       "(common USB adapters hold bytes up to 16 ms):"));
    box->setInputMode(QInputDialog::IntInput);
    box->setIntRange(0, TCommUnit::MaxAdapterAllowance);
    box->setIntValue(master_.CommUnit().AdapterAllowance());
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QInputDialog::intValueSelected, this, [this](int ms) { SetAdapterAllowance(ms); });
    box->open();
}

void TLineControl::SetAdapterAllowance(int milliseconds)
{
    master_.CommUnit().SetAdapterAllowance(milliseconds);
    allowanceAction_->setText(AllowanceText(master_.CommUnit().AdapterAllowance()));
}

busstats::TSnapshot TLineControl::Snapshot() const
{
    return {master_.Counters(), master_.CommUnit().LineCounts(), std::chrono::steady_clock::now()};
}

void TLineControl::ResetCounters()
{
    master_.ResetCycles();
    counts_.Reset(Snapshot());
    since_ = QDateTime::currentDateTime();
    UpdateCounters();
}

void TLineControl::OpenStatistics()
{
    if (!statistics_) {
        statistics_ = new TBusStatisticsView(window_);
        CentreOnShow(statistics_, window_);
    }
    statistics_->Show(counts_, since_);
    statistics_->show();
    statistics_->raise();
}

void TLineControl::UpdateCounters()
{
    counts_.Sample(Snapshot());
    // The status bar quotes four rows of the table, the losses with their rate.
    const auto figure = [this](const char* label, const char* name, bool rate) {
        for (const busstats::TCounterRow& row : busstats::CounterRows()) {
            if (qstrcmp(row.name, name) != 0) continue;
            const QString count = QStringLiteral("%1 %2").arg(QLatin1String(label)).arg(counts_.Count(row));
            return rate ? count + QStringLiteral(" (%1/min)").arg(counts_.PerMinute(row), 0, 'f', 0) : count;
        }
        return QString();
    };
    // The losses come first: they stay whole where the bar is narrow.
    const QString losses =
        figure("lost", "answers lost", true) + QStringLiteral("  ") + figure("bad", "bad answers", true);
    const QString text = losses + QStringLiteral("  ") + figure("ok", "answers", false) + QStringLiteral("  ") +
                         figure("Req", "requests", false);
    if (counters_->text() != text) counters_->SetText(text, losses);
    counters_->setToolTip(QStringLiteral("Since %1; Line \u2192 Bus statistics for the full table")
                              .arg(since_.toString(QStringLiteral("hh:mm:ss"))));
    if (statistics_ && statistics_->isVisible()) statistics_->Show(counts_, since_);
}
