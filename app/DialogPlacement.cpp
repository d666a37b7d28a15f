#include "DialogPlacement.h"

#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

class TCentreOnShow : public QObject {
public:
    TCentreOnShow(QWidget* dialog, QWidget* window) : QObject(dialog), dialog_(dialog), window_(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == dialog_ && event->type() == QEvent::Show && window_) CentreOnWindow(*dialog_, *window_);
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* dialog_;
    QPointer<QWidget> window_;
};

}  // namespace

void CentreOnWindow(QWidget& dialog, const QWidget& window)
{
    if (!window.isVisible()) return;
    // Before its first showing a window has no frame yet: its size stands in.
    const QSize size = dialog.frameGeometry().size().expandedTo(dialog.size());
    QPoint topLeft = window.frameGeometry().center() - QPoint(size.width() / 2, size.height() / 2);
    if (const QScreen* screen = window.screen()) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
        topLeft.setY(std::clamp(topLeft.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    }
    dialog.move(topLeft);
}

void CentreOnShow(QWidget* dialog, QWidget* window) { dialog->installEventFilter(new TCentreOnShow(dialog, window)); }
