// The main window's status bar (port and its device, slave address, module
// count, link) and the port box's list.
#include "MainForm.h"

#include "ElidingLabel.h"
#include "QtSerialAdapters.h"
#include "dp/Profi_dp.h"
#include "serial/PortTable.h"
#include "serial/VeltPort.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <initializer_list>

namespace {

// "COM<n>" -> n, 0 for anything else.
int ComNumber(const QString& text)
{
    if (!text.startsWith(QLatin1String("COM"))) return 0;
    bool ok = false;
    const int number = text.mid(3).toInt(&ok);
    return ok ? number : 0;
}

}  // namespace

void TForm1::BuildStatusBar()
{
    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(true);
    // The port's device path and a refusal's reason can be long: they end in
    // "…" (whole in the tool tip) rather than widen the window.
    lbStatusPort = new TElidingLabel(StatusBar);
    lbStatusAddress = new QLabel(StatusBar);
    lbStatusModules = new QLabel(StatusBar);
    lbStatusLink = new TElidingLabel(StatusBar);
    for (QLabel* label : std::initializer_list<QLabel*>{lbStatusPort, lbStatusAddress, lbStatusModules, lbStatusLink})
        StatusBar->addWidget(label, label == lbStatusPort ? 1 : 0);
}

void TForm1::UpdateStatusBar()
{
    const QString portName = cbxPort->currentText().trimmed();
    QString port = portName.isEmpty() ? QStringLiteral("no port") : portName;
    if (const int number = ComNumber(portName); number > 0) {
        std::string message;
        for (const porttable::TPortEntry& entry : porttable::CurrentPortTable(message))
            if (entry.comNumber == number) port += QStringLiteral(" = ") + QString::fromStdString(entry.device);
    }
    if (Master && Master->CommUnit().DeviceLost())
        port += QStringLiteral(" (lost, waiting for it)");
    else if (Master && !Master->CommUnit().Port().Open())
        port += QStringLiteral(" (closed)");
    const QString portLabel = QStringLiteral("Port: ") + (portName.isEmpty() ? port : portName);
    lbStatusPort->SetText(QStringLiteral("Port: ") + port, portLabel);
    lbStatusPort->setToolTip(port);
    lbStatusAddress->setText(QStringLiteral("Slave address: %1").arg(Master ? Master->SlaveAddress : 0));
    lbStatusModules->setText(QStringLiteral("Modules: %1").arg(Master ? Master->ModuleCount() : 0));
    // A refusal stays on show, with its reason, while the start-up repeats.
    const QString refusal = Master ? QString::fromStdString(Master->HeldStatus()) : QString();
    const QString reason = Master ? QString::fromStdString(Master->HeldReason()) : QString();
    QString link = refusal.isEmpty() ? linkText_ : refusal;
    if (reason != refusal) link += QStringLiteral(" \u2013 ") + reason;
    lbStatusLink->SetText(QStringLiteral("Link: ") + link,
                          QStringLiteral("Link: ") + (refusal.isEmpty() ? linkText_ : refusal));
    lbStatusLink->setToolTip(reason.isEmpty() ? link : reason);
    if (!reason.isEmpty()) edbxCommStatus->setToolTip(reason);
}

void TForm1::RefreshPortList()
{
    std::string message;
    std::vector<std::pair<std::string, std::string>> items;
    for (const porttable::TPortEntry& entry : porttable::CurrentPortTable(message))
        items.emplace_back("COM" + std::to_string(entry.comNumber), porttable::Describe(entry));
    portChooser_->Refill(items);
}
