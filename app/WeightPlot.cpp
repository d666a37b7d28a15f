#include "WeightPlot.h"

#include "WeightCsv.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileDialog>
#include <QGraphicsSimpleTextItem>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <cmath>
#include <sstream>
#include <stdexcept>

#include "ErrorBox.h"
#include "SaveWhole.h"

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

    chart_ = new QChart;
    chart_->legend()->hide();  // lbLegend: one entry per module, which the chart's legend cannot do
    axisX_ = new QDateTimeAxis(chart_);
    axisX_->setFormat(QStringLiteral("HH:mm:ss"));
    axisX_->setTitleText(QStringLiteral("Time"));
    axisX_->setTickCount(7);
    axisX_->setRange(QDateTime::currentDateTime().addSecs(-60), QDateTime::currentDateTime());
    axisY_ = new QValueAxis(chart_);
    axisY_->setLabelFormat(QStringLiteral("%.3f"));  // three decimals, as the module page shows weights
    axisY_->setTitleText(QStringLiteral("Weight: gross solid, net dashed"));
    chart_->addAxis(axisX_, Qt::AlignBottom);
    chart_->addAxis(axisY_, Qt::AlignLeft);
    ChartView = new QChartView(chart_, this);
    ChartView->setRenderHint(QPainter::Antialiasing, false);
    ChartView->setOptimizationFlags(QGraphicsView::DontSavePainterState | QGraphicsView::DontAdjustForAntialiasing);

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
    if (!paused) Redraw();
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

QLineSeries* TWeightPlot::Series(std::size_t index)
{
    while (series_.size() <= index) {
        auto* series = new QLineSeries(chart_);
        chart_->addSeries(series);
        series->attachAxis(axisX_);
        series->attachAxis(axisY_);
        series_.push_back(series);
    }
    return series_[index];
}

QLineSeries* TWeightPlot::Marker(std::size_t index)
{
    while (markers_.size() <= index) {
        auto* marker = new QLineSeries(chart_);
        marker->setName(QStringLiteral("link lost"));
        QPen pen(Qt::red, 1, Qt::DashLine);
        pen.setCosmetic(true);
        marker->setPen(pen);
        chart_->addSeries(marker);
        marker->attachAxis(axisX_);
        marker->attachAxis(axisY_);
        markers_.push_back(marker);
        auto* label = new QGraphicsSimpleTextItem(QStringLiteral("link lost"), chart_);
        label->setBrush(Qt::red);
        markerLabels_.push_back(label);
    }
    return markers_[index];
}

void TWeightPlot::Redraw()
{
    UpdateSpan();
    const std::vector<int> modules = ShownModules();
    const int buckets = std::max(1, static_cast<int>(chart_->plotArea().width()));
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
            QLineSeries* series = Series(used++);
            const QString name = QStringLiteral("WZM %1 %2").arg(module).arg(gross ? "gross" : "net");
            if (series->name() != name) series->setName(name);
            // Thin cosmetic pens: wide or scaled ones cost a stroker pass on every repaint.
            QPen pen(ModuleColor(module), 1, gross ? Qt::SolidLine : Qt::DashLine);
            pen.setCosmetic(true);
            if (series->pen() != pen) series->setPen(pen);
            series->replace(points_);
            if (!series->isVisible()) series->setVisible(true);
            pointsShown_ += static_cast<int>(points_.size());
        }
    }
    for (std::size_t i = used; i < series_.size(); ++i) {
        if (series_[i]->count() > 0) series_[i]->clear();
        if (series_[i]->isVisible()) series_[i]->setVisible(false);
    }
    if (!(low <= high)) {
        low = 0;
        high = 1;
    }
    const double pad = high > low ? (high - low) * 0.05 : std::max(1.0, std::abs(high) * 0.05);
    axisY_->setRange(low - pad, high + pad);
    axisX_->setRange(QDateTime::fromMSecsSinceEpoch(fromMs_), QDateTime::fromMSecsSinceEpoch(toMs_));
    DrawMarkers(low - pad, high + pad);
    ShowLegend(modules);
    lbInfo->setText(modules.empty() ? QStringLiteral("No values yet: start the link")
                    : Paused()      ? QStringLiteral("Paused")
                                    : QString());
}

void TWeightPlot::DrawMarkers(double low, double high)
{
    const std::vector<std::int64_t> losses = history_.LinkLosses(fromMs_, toMs_);
    lossesShown_ = static_cast<int>(losses.size());
    for (std::size_t i = 0; i < losses.size(); ++i) {
        QLineSeries* marker = Marker(i);
        const double t = static_cast<double>(losses[i]);
        marker->replace(QList<QPointF>{QPointF(t, low), QPointF(t, high)});
        if (!marker->isVisible()) marker->setVisible(true);
        const QPointF top = chart_->mapToPosition(QPointF(t, high), marker);
        // The label stays inside the plot: left of a line near the right edge.
        const double width = markerLabels_[i]->boundingRect().width();
        const bool left = top.x() + 3 + width > chart_->plotArea().right();
        markerLabels_[i]->setPos(left ? top.x() - 3 - width : top.x() + 3, top.y());
        markerLabels_[i]->setVisible(true);
    }
    for (std::size_t i = losses.size(); i < markers_.size(); ++i) {
        if (markers_[i]->isVisible()) markers_[i]->setVisible(false);
        markerLabels_[i]->setVisible(false);
    }
}

void TWeightPlot::ShowLegend(const std::vector<int>& modules)
{
    QString html;
    for (int module : modules)
        html += QStringLiteral("<span style=\"color:%1\">&#9632;</span>&nbsp;WZM&nbsp;%2 &nbsp; ")
                    .arg(ModuleColor(module).name())
                    .arg(module);
    if (lossesShown_ > 0) html += QStringLiteral("<span style=\"color:red\">&#9478;</span>&nbsp;link&nbsp;lost");
    if (lbLegend->text() != html) lbLegend->setText(html);
}

void TWeightPlot::ExportCsv(const QString& fileName) const
{
    std::ostringstream csv;
    plot::WriteWeightCsv(csv, history_, ShownModules(), fromMs_, toMs_);
    if (QString error; !SaveWhole(fileName, csv.str(), error))
        throw std::runtime_error("Cannot write " + fileName.toStdString() + ": " + error.toStdString());
}

void TWeightPlot::ExportClick()
{
    if (!Paused()) Redraw();  // the file holds what is on the screen now
    const QString file =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), QStringLiteral("quorvel-weights.csv"),
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
