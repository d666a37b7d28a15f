#include "LinearisationCurve.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

TLinearisationCurve::TLinearisationCurve(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(200, 140);
    setObjectName(QStringLiteral("LinearisationCurve"));
}

void TLinearisationCurve::SetPoints(std::vector<std::pair<double, double>> points)
{
    points_ = std::move(points);
    update();
}

void TLinearisationCurve::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().base());
    const QRectF area = QRectF(rect()).adjusted(36, 10, -10, -26);
    std::vector<std::pair<double, double>> points{{0.0, 0.0}};
    points.insert(points.end(), points_.begin(), points_.end());
    std::sort(points.begin(), points.end());
    double top = 1.0;
    for (const auto& [x, y] : points) top = std::max({top, x, y});
    top *= 1.1;
    const auto at = [&](double x, double y) {
        return QPointF(area.left() + x / top * area.width(), area.bottom() - y / top * area.height());
    };
    p.setPen(palette().color(QPalette::Text));
    p.drawRect(area);
    p.drawText(QRectF(area.left(), area.bottom() + 4, area.width(), 18), Qt::AlignCenter,
               tr("reading (kg), up to %1").arg(top, 0, 'g', 4));
    p.save();
    p.translate(12, area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-area.height() / 2, -10, area.height(), 18), Qt::AlignCenter, tr("true value (kg)"));
    p.restore();
    p.setPen(QPen(Qt::gray, 1, Qt::DashLine));
    p.drawLine(at(0, 0), at(top, top));
    QPainterPath curve(at(points.front().first, points.front().second));
    for (const auto& [x, y] : points) curve.lineTo(at(x, y));
    p.setPen(QPen(QColor(0, 0, 128), 2));
    p.drawPath(curve);
    p.setBrush(QColor(0, 0, 128));
    for (const auto& [x, y] : points) p.drawEllipse(at(x, y), 3, 3);
}
