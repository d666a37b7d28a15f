#include "WeightCanvas.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr int TimeTicks = 7;
constexpr int ValueTicks = 6;
constexpr int Gap = 6;  // between labels and the plot area

}  // namespace

TWeightCanvas::TWeightCanvas(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("WeightCanvas"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(300, 200);
}

QRectF TWeightCanvas::PlotArea() const
{
    const QFontMetrics metrics(font());
    // Room for the widest weight label, the axis title turned on its side,
    // and two lines of time labels and title below.
    const int left = metrics.horizontalAdvance(QStringLiteral("-00000.000")) + metrics.height() + 2 * Gap;
    const int bottom = 2 * metrics.height() + 2 * Gap;
    const int top = metrics.height();
    const int right = metrics.horizontalAdvance(QStringLiteral("00:00:00")) / 2 + Gap;
    return QRectF(left, top, std::max(1, width() - left - right), std::max(1, height() - top - bottom));
}

void TWeightCanvas::SetSeries(std::size_t index, const QPen& pen, const QList<QPointF>& points)
{
    if (series_.size() <= index) series_.resize(index + 1);
    series_[index].pen = pen;
    series_[index].points = points;
    shown_ = std::max(shown_, index + 1);
}

void TWeightCanvas::KeepSeries(std::size_t count) { shown_ = std::min(count, series_.size()); }

void TWeightCanvas::SetMarkers(std::vector<plot::TMarker> markers) { markers_ = std::move(markers); }

void TWeightCanvas::SetRanges(std::int64_t fromMs, std::int64_t toMs, double low, double high)
{
    fromMs_ = fromMs;
    toMs_ = toMs > fromMs ? toMs : fromMs + 1;
    low_ = low;
    high_ = high > low ? high : low + 1;
    update();
}

QPointF TWeightCanvas::ToPixel(double timeMs, double value, const QRectF& area) const
{
    const double x =
        area.left() + (timeMs - static_cast<double>(fromMs_)) / static_cast<double>(toMs_ - fromMs_) * area.width();
    const double y = area.bottom() - (value - low_) / (high_ - low_) * area.height();
    return {x, y};
}

void TWeightCanvas::DrawAxes(QPainter& painter, const QRectF& area) const
{
    const QFontMetrics metrics(font());
    painter.setPen(QPen(palette().color(QPalette::Mid), 0, Qt::DotLine));
    for (int i = 0; i <= ValueTicks; ++i) {
        const double y = area.bottom() - area.height() * i / ValueTicks;
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    for (int i = 0; i < TimeTicks; ++i) {
        const double x = area.left() + area.width() * i / (TimeTicks - 1);
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(area);
    for (int i = 0; i <= ValueTicks; ++i) {
        const double value = low_ + (high_ - low_) * i / ValueTicks;
        const double y = area.bottom() - area.height() * i / ValueTicks;
        const QRectF box(0, y - metrics.height() / 2.0, area.left() - Gap, metrics.height());
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, QString::number(value, 'f', 3));
    }
    for (int i = 0; i < TimeTicks; ++i) {
        const double x = area.left() + area.width() * i / (TimeTicks - 1);
        const std::int64_t t = fromMs_ + (toMs_ - fromMs_) * i / (TimeTicks - 1);
        const QString text = QDateTime::fromMSecsSinceEpoch(t).toString(QStringLiteral("HH:mm:ss"));
        const double w = metrics.horizontalAdvance(text);
        painter.drawText(QPointF(x - w / 2, area.bottom() + Gap + metrics.ascent()), text);
    }
    const QString timeTitle = QStringLiteral("Time");
    painter.drawText(QPointF(area.center().x() - metrics.horizontalAdvance(timeTitle) / 2.0,
                             area.bottom() + 2 * Gap + metrics.height() + metrics.ascent()),
                     timeTitle);
    painter.save();
    painter.translate(metrics.ascent(), area.center().y() + metrics.horizontalAdvance(yTitle_) / 2.0);
    painter.rotate(-90);
    painter.drawText(QPointF(0, 0), yTitle_);
    painter.restore();
}

void TWeightCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QRectF area = PlotArea();
    DrawAxes(painter, area);
    painter.setClipRect(area);
    for (std::size_t s = 0; s < shown_; ++s) {
        const TSeries& series = series_[s];
        pixels_.clear();
        for (const QPointF& p : series.points) pixels_.append(ToPixel(p.x(), p.y(), area));
        painter.setPen(series.pen);
        painter.drawPolyline(pixels_);
    }
    const QFontMetrics metrics(font());
    // A label that would run into the one before goes a line lower (up to
    // four lines, then the line alone).
    constexpr int LabelRows = 4;
    double rowEnds[LabelRows];
    std::fill(std::begin(rowEnds), std::end(rowEnds), -1e9);
    for (const plot::TMarker& m : markers_) {
        const bool stop = m.Kind == plot::TMarkKind::Stop;
        const QString label = stop ? QStringLiteral("stop") : QStringLiteral("link lost");
        const double labelWidth = metrics.horizontalAdvance(label);
        const double x = ToPixel(static_cast<double>(m.TimeMs), low_, area).x();
        painter.setPen(stop ? QPen(Qt::darkGray, 1, Qt::DashDotLine) : QPen(Qt::red, 1, Qt::DashLine));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        // The label stays inside the plot: left of a line near the right edge.
        const double left = x + 3 + labelWidth > area.right() ? x - 3 - labelWidth : x + 3;
        for (int row = 0; row < LabelRows; ++row) {
            if (left <= rowEnds[row]) continue;
            painter.drawText(QPointF(left, area.top() + metrics.ascent() + row * metrics.height()), label);
            rowEnds[row] = left + labelWidth + 3;
            break;
        }
    }
}
