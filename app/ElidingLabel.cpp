#include "ElidingLabel.h"

#include <QPainter>

void TElidingLabel::SetText(const QString& text, const QString& shortest)
{
    if (shortest != shortest_) {
        shortest_ = shortest;
        updateGeometry();
    }
    setText(text);
}

QSize TElidingLabel::minimumSizeHint() const
{
    const QString least = shortest_.size() < text().size() ? shortest_ + QChar(0x2026) : text();
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(least) + margins.left() + margins.right() + 2 * margin(),
            QLabel::minimumSizeHint().height()};
}

void TElidingLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(room, static_cast<int>(alignment()),
                     fontMetrics().elidedText(text(), Qt::ElideRight, room.width()));
}
