#include "WeightPlot.h"

#include "FileDialogs.h"
#include "core/WeightCsv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "ErrorBox.h"
#include "SaveWhole.h"
#include "WeightCanvas.h"

namespace {

constexpr std::int64_t MinuteMs = 60 * 1000;
constexpr int WindowMinutes[] = {1, 5, 15};

QColor ModuleColor(int module)
{
    static const QColor colors[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c),
                                    QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2),
                                    QColor(0x7f, 0x7f, 0x7f), QColor(0x17, 0xbe, 0xcf)};
    return colors[module % 8];
}

}  // namespace

TWeightPlot::TWeightPlot(const plot::TWeightHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history), clock_([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    setObjectName(QStringLiteral("WeightPlot"));
    setWindowTitle(QStringLiteral("Weight plot"));
    resize(900, 520);

    cbxWindow = new QComboBox(this);
    for (int minutes : WindowMinutes) cbxWindow->addItem(QStringLiteral("%1 min").arg(minutes));
    cbAllModules = new QCheckBox(QStringLiteral("All modules"), this);
    PauseButton = new QPushButton(QStringLiteral("Pause"), this);
    PauseButton->setCheckable(true);
    ExportButton = new QPushButton(QStringLiteral("Export CSV..."), this);
    lbInfo = new QLabel(this);

    // lbLegend below: one entry per module and the link-lost line.
    ChartView = new TWeightCanvas(this);
    ChartView->SetYTitle(QStringLiteral("Weight: gross solid, net dashed"));
    const std::int64_t now = clock_();
    ChartView->SetRanges(now - MinuteMs, now, 0, 1);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Window:"), this));
    controls->addWidget(cbxWindow);
    controls->addWidget(cbAllModules);
    controls->addWidget(PauseButton);
    controls->addWidget(ExportButton);
    controls->addWidget(lbInfo, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(ChartView, 1);
    lbLegend = new QLabel(this);
    lbLegend->setAlignment(Qt::AlignHCenter);
    lbLegend->setWordWrap(true);
    layout->addWidget(lbLegend);

    timer_ = new QTimer(this);
    timer_->setInterval(RedrawMs);
    connect(timer_, &QTimer::timeout, this, [this] { Redraw(); });
    connect(cbxWindow, &QComboBox::currentIndexChanged, this, [this] { Redraw(); });
    connect(cbAllModules, &QCheckBox::toggled, this, [this] { Redraw(); });
    connect(PauseButton, &QPushButton::toggled, this, [this](bool paused) { SetPaused(paused); });
    connect(ExportButton, &QPushButton::clicked, this, [this] { ExportClick(); });
}

TWeightPlot::~TWeightPlot() = default;

void TWeightPlot::SetStation(int station)
{
    station_ = station;
    if (isVisible()) Redraw();
}

void TWeightPlot::SetModule(int module)
{
    if (module < 0 || module == module_) return;
    module_ = module;
    if (isVisible()) Redraw();
}

bool TWeightPlot::Paused() const { return PauseButton->isChecked(); }

void TWeightPlot::SetPaused(bool paused)
{
    if (PauseButton->isChecked() != paused) {
        PauseButton->setChecked(paused);  // comes back here through toggled
        return;
    }
    PauseButton->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    Redraw();  // paused, the span stays and the info says so
    if (isVisible() && !paused)
        timer_->start();
    else
        timer_->stop();
}

std::int64_t TWeightPlot::WindowMs() const { return WindowMinutes[std::max(0, cbxWindow->currentIndex())] * MinuteMs; }

std::vector<int> TWeightPlot::ShownModules() const
{
    if (!cbAllModules->isChecked()) return {module_};
    std::vector<int> modules;
    for (int k = 0; k < history_.ModuleSlots(); ++k)
        if (history_.HasSamples(k)) modules.push_back(k);
    return modules;
}

void TWeightPlot::UpdateSpan()
{
    if (!Paused() || toMs_ == 0) toMs_ = clock_();
    fromMs_ = toMs_ - WindowMs();
}

void TWeightPlot::Redraw()
{
    UpdateSpan();
    const std::vector<int> modules = ShownModules();
    const int buckets = std::max(1, static_cast<int>(ChartView->PlotArea().width()));
    double low = INFINITY, high = -INFINITY;
    pointsShown_ = 0;
    std::size_t used = 0;
    for (int module : modules) {
        plot::Decimate(history_.Ring(module), fromMs_, toMs_, buckets, reducedGross_, reducedNet_);
        for (const bool gross : {true, false}) {
            points_.clear();
            for (const plot::TPoint& p : gross ? reducedGross_ : reducedNet_) {
                if (!std::isfinite(p.Value)) continue;  // NAN and INF are not drawn
                points_.append(QPointF(static_cast<double>(p.TimeMs), p.Value));
                low = std::min<double>(low, p.Value);
                high = std::max<double>(high, p.Value);
            }
            // Thin cosmetic pens: wide or scaled ones cost a stroker pass on every repaint.
            QPen pen(ModuleColor(module), 1, gross ? Qt::SolidLine : Qt::DashLine);
            pen.setCosmetic(true);
            ChartView->SetSeries(used++, pen, points_);
            pointsShown_ += static_cast<int>(points_.size());
        }
    }
    ChartView->KeepSeries(used);
    if (!(low <= high)) {
        low = 0;
        high = 1;
    }
    const double pad = high > low ? (high - low) * 0.05 : std::max(1.0, std::abs(high) * 0.05);
    std::vector<plot::TMarker> markers = history_.Markers(fromMs_, toMs_);
    lossesShown_ = stopsShown_ = 0;
    for (const plot::TMarker& m : markers) ++(m.Kind == plot::TMarkKind::Stop ? stopsShown_ : lossesShown_);
    ChartView->SetMarkers(std::move(markers));
    ChartView->SetRanges(fromMs_, toMs_, low - pad, high + pad);
    ShowLegend(modules);
    const QString station = QStringLiteral("Station %1, weights in kg").arg(station_);
    QString info = modules.empty() ? QStringLiteral("No values yet: start the link")
                   : Paused()      ? station + QStringLiteral(" (paused)")
                                   : station;
    if (!exported_.isEmpty()) info += QStringLiteral("; exported to ") + exported_;
    lbInfo->setText(info);
}

void TWeightPlot::ShowLegend(const std::vector<int>& modules)
{
    QString html;
    for (int module : modules)
        html += QStringLiteral("<span style=\"color:%1\">&#9632;</span>&nbsp;WZM&nbsp;%2 &nbsp; ")
                    .arg(ModuleColor(module).name())
                    .arg(module);
    if (lossesShown_ > 0)
        html += QStringLiteral("<span style=\"color:red\">&#9478;</span>&nbsp;link&nbsp;lost &nbsp; ");
    if (stopsShown_ > 0) html += QStringLiteral("<span style=\"color:gray\">&#9482;</span>&nbsp;stop");
    if (lbLegend->text() != html) lbLegend->setText(html);
}

void TWeightPlot::ExportCsv(const QString& fileName)
{
    std::ostringstream csv;
    plot::WriteWeightCsv(csv, history_, ShownModules(), fromMs_, toMs_, station_);
    if (QString error; !SaveWhole(fileName, csv.str(), error)) throw std::runtime_error(error.toStdString());
    exported_ = fileName;
    Redraw();
}

void TWeightPlot::ExportClick()
{
    if (!Paused()) Redraw();  // the file holds what is on the screen now
    const QString file =
        filedialog::SaveFileName(this, QStringLiteral("Export CSV"), QStringLiteral("quorvel-weights.csv"),
                                 QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (!file.isEmpty()) errorbox::Guard([&] { ExportCsv(file); });
}

void TWeightPlot::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Redraw();
    if (!Paused()) timer_->start();
}

void TWeightPlot::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    timer_->stop();
}
