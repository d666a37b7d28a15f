// A one-line label that ends its text in "…" when it has less room than the
// text needs, instead of widening its window; a leading part given as the
// shortest stays whole. text() stays whole.
#pragma once

#include <QLabel>

class TElidingLabel : public QLabel {
public:
    using QLabel::QLabel;
    // The text and the least of it to show whole ("Port: COM5" of
    // "Port: COM5 = /dev/ttyUSB0").
    void SetText(const QString& text, const QString& shortest);
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString shortest_;
};
