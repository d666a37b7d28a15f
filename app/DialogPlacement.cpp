#include "DialogPlacement.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace {

class TCentreOnShow : public QObject {
public:
    TCentreOnShow(QWidget* dialog, QWidget* window) : QObject(dialog), dialog_(dialog), window_(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == dialog_ && event->type() == QEvent::Show && window_ && window_->isVisible())
            dialog_->move(window_->frameGeometry().center() - dialog_->rect().center());
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* dialog_;
    QPointer<QWidget> window_;
};

}  // namespace

void CentreOnShow(QWidget* dialog, QWidget* window) { dialog->installEventFilter(new TCentreOnShow(dialog, window)); }
