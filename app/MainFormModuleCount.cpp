// The WZM count set by the program rather than typed: the offer to take the
// slave's count when it refuses the configuration, and a count taken from
// the live list.
#include "MainForm.h"

#include "dp/Profi_dp.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QMessageBox>

void TForm1::SetModuleCountFromCode(int modules)
{
    if (modules < 1 || modules >= cbxNumWZMs->count()) return;
    cbxNumWZMs->setCurrentIndex(modules);
    cbxNumWZMsChange();
}

void TForm1::OfferSlaveModuleCount(int modules)
{
    if (modules < 1 || modules >= cbxNumWZMs->count() || modules == Master->ModuleCount()) return;
    auto* box =
        new QMessageBox(QMessageBox::Question, QStringLiteral("WZM count"),
                        QStringLiteral("The slave has %1, the WZM count is %2.\n"
                                       "Set the WZM count to %3?")
                            .arg(modules == 1 ? QStringLiteral("1 module") : QStringLiteral("%1 modules").arg(modules))
                            .arg(Master->ModuleCount())
                            .arg(modules),
                        QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("ModuleCountOffer"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::buttonClicked, this, [this, box, modules](QAbstractButton* button) {
        if (box->standardButton(button) == QMessageBox::Yes) SetModuleCountFromCode(modules);
    });
    box->open();
}
