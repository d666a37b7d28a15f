#include "ErrorBox.h"

#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace errorbox {
namespace {

QPointer<QWidget> boxOwner;
QPointer<QMessageBox> openBox;
bool building = false;  // the owner is being built and not on screen yet
bool held = false;      // a box made meanwhile, to open soon

}  // namespace

void SetOwner(QWidget* owner) { boxOwner = owner; }

void HoldWhileBuilding(bool on) { building = on; }

QMessageBox* Current() { return openBox.data(); }

void Show(const QString& message)
{
    if (openBox && (openBox->isVisible() || held)) {
        if (!openBox->text().split(QLatin1Char('\n')).contains(message))
            openBox->setText(openBox->text() + QLatin1Char('\n') + message);
        return;
    }
    auto* box =
        new QMessageBox(QMessageBox::Critical, QStringLiteral("Quorvel"), message, QMessageBox::Ok, boxOwner.data());
    box->setAttribute(Qt::WA_DeleteOnClose);
    openBox = box;
    // A box made while the window is still being built opens once the event
    // loop runs (after the window shows), never under the window.
    if (building) {
        held = true;
        QTimer::singleShot(0, box, [box] {
            held = false;
            box->open();
        });
        return;
    }
    box->open();
}

}  // namespace errorbox
