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
    // A refusal seen again in the same run (the slave repeats it on each
    // start-up attempt) is not asked again; nor is one overtaken meanwhile.
    if (modules < 1 || modules >= cbxNumWZMs->count() || modules == Master->ModuleCount()) return;
    if (modules == offeredCount_ || Master->CurrentState().State == stIdle) return;
    CloseStaleOffer();
    offeredCount_ = modules;
    const int count = Master->ModuleCount();
    auto* box =
        new QMessageBox(QMessageBox::Question, QStringLiteral("WZM count"),
                        QStringLiteral("The slave has %1, the WZM count is %2.\n"
                                       "Set the WZM count to %3?")
                            .arg(modules == 1 ? QStringLiteral("1 module") : QStringLiteral("%1 modules").arg(modules))
                            .arg(count)
                            .arg(modules),
                        QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("ModuleCountOffer"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Beside the window, not over it: Stop and the other keys stay at hand.
    box->setWindowModality(Qt::NonModal);
    box->setEscapeButton(QMessageBox::No);
    connect(box, &QMessageBox::buttonClicked, this, [this, box, modules, count](QAbstractButton* button) {
        if (box->standardButton(button) == QMessageBox::Yes) {
            SetModuleCountFromCode(modules);
        } else {
            AddMessage(QStringLiteral("WZM count kept at %1 (the slave has %2)").arg(count).arg(modules));
        }
    });
    countOffer_ = box;
    box->show();
    box->activateWindow();
}

void TForm1::CloseStaleOffer()
{
    if (!countOffer_) return;
    countOffer_->disconnect(this);
    countOffer_->close();
    countOffer_ = nullptr;
}
