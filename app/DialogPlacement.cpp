#include "DialogPlacement.h"

#include <QEvent>
#include <QGuiApplication>
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

// `topLeft` moved so that a rectangle of `size` there lies within `area` (at
// its top left corner when it is larger).
QPoint ClampedInto(QPoint topLeft, QSize size, const QRect& area)
{
    return {std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())),
            std::clamp(topLeft.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()))};
}

}  // namespace

void CentreOnWindow(QWidget& dialog, const QWidget& window)
{
    if (!window.isVisible()) return;
    // Before its first showing a window has no frame yet: its size stands in.
    const QSize size = dialog.frameGeometry().size().expandedTo(dialog.size());
    QPoint topLeft = window.frameGeometry().center() - QPoint(size.width() / 2, size.height() / 2);
    if (const QScreen* screen = window.screen()) topLeft = ClampedInto(topLeft, size, screen->availableGeometry());
    dialog.move(topLeft);
}

void KeepWithinScreen(QWidget& window)
{
    if (window.isMaximized() || window.isFullScreen()) return;
    const QRect frame = window.frameGeometry();
    const QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    // The title bar and borders (none before the first showing) stay on the
    // screen too; a smaller window scrolls its controls.
    const QSize margins = frame.size() - window.geometry().size();
    const QSize fitted = window.size().boundedTo(area.size() - margins);
    if (fitted != window.size()) window.resize(fitted);
    window.move(ClampedInto(frame.topLeft(), fitted + margins, area));
}

void CentreOnShow(QWidget* dialog, QWidget* window) { dialog->installEventFilter(new TCentreOnShow(dialog, window)); }
