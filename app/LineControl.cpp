#include "LineControl.h"

#include "dp/Profi_dp.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
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

    counters_ = new QLabel(statusBar);
    counters_->setObjectName(QStringLiteral("lbStatusBus"));
    statusBar->addPermanentWidget(counters_);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { UpdateCounters(); });
    timer->start(CountersPeriod);
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

void TLineControl::UpdateCounters()
{
    const TBusCounters c = master_.Counters();
    const QString text = QStringLiteral("Req %1  ok %2  none %3  bad %4  noise %5  rep %6  cycle %7/%8 ms")
                             .arg(c.requests)
                             .arg(c.answers)
                             .arg(c.noAnswer)
                             .arg(c.badAnswers)
                             .arg(c.noiseBytes)
                             .arg(c.repeats)
                             .arg(static_cast<double>(c.lastCycle.count()) / 1000.0, 0, 'f', 1)
                             .arg(static_cast<double>(c.meanCycle.count()) / 1000.0, 0, 'f', 1);
    if (counters_->text() != text) counters_->setText(text);
    counters_->setToolTip(QString::fromStdString(CountersLine(c, master_.CommUnit().LineCounts())));
}
