// The main window's view of the line: the adapter allowance (Line menu,
// remembered with the other settings), the bus counters in the status bar
// (redrawn once a second).
#include "MainForm.h"

#include "dp/Profi_dp.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

namespace {

constexpr int CountersPeriod = 1000;  // ms

QString AllowanceText(int milliseconds) { return QStringLiteral("&Adapter allowance (%1 ms)...").arg(milliseconds); }

}  // namespace

void TForm1::BuildLineMenu()
{
    QMenu* line = MenuBar->addMenu(QStringLiteral("&Line"));
    AllowanceAction = line->addAction(AllowanceText(TCommUnit::DefaultAdapterAllowance));
    AllowanceAction->setObjectName(QStringLiteral("actAdapterAllowance"));
    connect(AllowanceAction, &QAction::triggered, this, [this] {
        auto* box = new QInputDialog(this);
        box->setObjectName(QStringLiteral("AdapterAllowanceBox"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowTitle(QStringLiteral("Adapter allowance"));
        box->setLabelText(
            QStringLiteral("Time an RS-485 adapter may add to an answer\n"
                           "(common USB adapters hold bytes up to 16 ms):"));
        box->setInputMode(QInputDialog::IntInput);
        box->setIntRange(0, TCommUnit::MaxAdapterAllowance);
        box->setIntValue(Master->CommUnit().AdapterAllowance());
        box->setWindowModality(Qt::WindowModal);
        connect(box, &QInputDialog::intValueSelected, this, [this](int ms) { SetAdapterAllowance(ms); });
        box->open();
    });
}

void TForm1::SetAdapterAllowance(int milliseconds)
{
    Master->CommUnit().SetAdapterAllowance(milliseconds);
    AllowanceAction->setText(AllowanceText(Master->CommUnit().AdapterAllowance()));
}

void TForm1::StartBusCounters()
{
    lbStatusBus = new QLabel(StatusBar);
    lbStatusBus->setObjectName(QStringLiteral("lbStatusBus"));
    StatusBar->addPermanentWidget(lbStatusBus);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { UpdateBusCounters(); });
    timer->start(CountersPeriod);
    UpdateBusCounters();
}

void TForm1::UpdateBusCounters()
{
    if (!Master) return;
    const TBusCounters c = Master->Counters();
    const QString text = QStringLiteral("Req %1  ok %2  none %3  bad %4  noise %5  rep %6  cycle %7/%8 ms")
                             .arg(c.requests)
                             .arg(c.answers)
                             .arg(c.noAnswer)
                             .arg(c.badAnswers)
                             .arg(c.noiseBytes)
                             .arg(c.repeats)
                             .arg(static_cast<double>(c.lastCycle.count()) / 1000.0, 0, 'f', 1)
                             .arg(static_cast<double>(c.meanCycle.count()) / 1000.0, 0, 'f', 1);
    if (lbStatusBus->text() != text) lbStatusBus->setText(text);
    lbStatusBus->setToolTip(QString::fromStdString(CountersLine(c, Master->CommUnit().LineCounts())));
}
