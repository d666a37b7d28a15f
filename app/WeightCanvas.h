// The drawing surface of the weight plot, painted with QPainter alone: a time
// axis (HH:mm:ss), a weight axis with three decimals, one polyline per series
// and a vertical line per marker: red dashed "link lost", grey dash-dotted
// "stop"; labels of lines close together go one below the other. It draws
// what it is given; TWeightPlot decides what that is.
#pragma once

#include "core/WeightHistory.h"

#include <QList>
#include <QPen>
#include <QPointF>
#include <QWidget>
#include <cstdint>
#include <vector>

class TWeightCanvas : public QWidget {
    Q_OBJECT
public:
    explicit TWeightCanvas(QWidget* parent = nullptr);

    // The plot area inside the widget, beside the axes' labels.
    QRectF PlotArea() const;

    // Series `index` (grown as needed): points as (milliseconds since 1970, weight).
    void SetSeries(std::size_t index, const QPen& pen, const QList<QPointF>& points);
    // Series from `count` on are not drawn.
    void KeepSeries(std::size_t count);
    void SetMarkers(std::vector<plot::TMarker> markers);
    void SetRanges(std::int64_t fromMs, std::int64_t toMs, double low, double high);
    void SetYTitle(const QString& title) { yTitle_ = title; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct TSeries {
        QPen pen;
        QList<QPointF> points;
    };
    QPointF ToPixel(double timeMs, double value, const QRectF& area) const;
    void DrawAxes(QPainter& painter, const QRectF& area) const;

    std::vector<TSeries> series_;
    std::size_t shown_ = 0;
    std::vector<plot::TMarker> markers_;
    std::int64_t fromMs_ = 0;
    std::int64_t toMs_ = 1;
    double low_ = 0;
    double high_ = 1;
    QString yTitle_;
    QPolygonF pixels_;  // reused by every paint
};
