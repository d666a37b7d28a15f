// The main window's first look for serial ports, and what it says when
// there is none: what to do, with an offer to look again.
#include "MainForm.h"

#include "ErrorBox.h"
#include "PlatformTexts.h"
#include "dp/Profi_dp.h"
#include "serial/SystemInfo.h"
#include "serial/VeltPort.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

void TForm1::ScanPortsAtStart()
{
    // No "Select Port" prompt while the window is being built: with no port
    // its list would be empty, and it would open before the window.
    TVeltComPort& port = Master->CommUnit().Port();
    port.SetPromptForPort(false);
    std::string failure;
    try {
        Master->CommUnit().ScanPorts(*portChooser_);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    port.SetPromptForPort(true);
    if (failure.empty()) return;
    OpenPortLater();
    if (cbxPort->count() == 0)
        QTimer::singleShot(0, this, [this] { OfferPortRefresh(); });  // once the window is up
    else
        errorbox::Show(QStringLiteral("No serial port opens: ") + QString::fromStdString(failure));
}

void TForm1::OfferPortRefresh()
{
    for (const QMessageBox* open : findChildren<QMessageBox*>(QStringLiteral("NoPortBox")))
        if (open->isVisible()) return;
    auto* box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("No serial port"),
                        QString::fromStdString(platformtext::NoPortAdvice(WindowsBuild)), QMessageBox::Close, this);
    box->setObjectName(QStringLiteral("NoPortBox"));
    QPushButton* again = box->addButton(QStringLiteral("&Look again"), QMessageBox::AcceptRole);
    box->setDefaultButton(again);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::buttonClicked, this, [this, again](QAbstractButton* button) {
        if (button != again) return;
        // After the box has closed, so that a second one may open.
        QTimer::singleShot(0, this, [this] {
            errorbox::Guard([this] {
                RefreshPortList();
                if (cbxPort->count() == 0) {
                    OfferPortRefresh();
                    return;
                }
                const int preferred = cbxPort->findText(QStringLiteral("COM2"));
                cbxPort->setCurrentIndex(preferred >= 0 ? preferred : 0);
                Master->CommUnit().OpenAndPoll(TCommUnit::ComNumberOf(cbxPort->currentText().toStdString()));
                AddMessage(cbxPort->currentText() + QStringLiteral(" found and opened"));
                UpdateStatusBar();
            });
        });
    });
    box->open();
}
