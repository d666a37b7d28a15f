// The linearisation curve of the wizard: the points kept so far, the module's
// reading against the weight's true value, drawn with QPainter beside the
// straight line of an ideal scale.
#pragma once

#include <QWidget>
#include <utility>
#include <vector>

class TLinearisationCurve : public QWidget {
public:
    explicit TLinearisationCurve(QWidget* parent = nullptr);
    // (reading, true value) in kg; the origin is always a point.
    void SetPoints(std::vector<std::pair<double, double>> points);
    QSize sizeHint() const override { return {260, 180}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<std::pair<double, double>> points_;
};
