#include "ErrorBox.h"

#include <QMessageBox>
#include <QPointer>

namespace errorbox {
namespace {

QPointer<QWidget> boxOwner;
QPointer<QMessageBox> openBox;

}  // namespace

void SetOwner(QWidget* owner) { boxOwner = owner; }

QMessageBox* Current() { return openBox.data(); }

void Show(const QString& message)
{
    if (openBox && openBox->isVisible()) {
        if (!openBox->text().split(QLatin1Char('\n')).contains(message))
            openBox->setText(openBox->text() + QLatin1Char('\n') + message);
        return;
    }
    auto* box =
        new QMessageBox(QMessageBox::Critical, QStringLiteral("Quorvel"), message, QMessageBox::Ok, boxOwner.data());
    box->setAttribute(Qt::WA_DeleteOnClose);
    openBox = box;
    box->open();
}

}  // namespace errorbox
