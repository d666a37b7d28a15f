// The main window's remembered settings (port, slave address, module count,
// fast cycle, geometry) and closing.
#include "MainForm.h"

#include "ErrorBox.h"
#include "FormWidgets.h"
#include "core/SlaveAddress.h"
#include "dp/Profi_dp.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>

bool TForm1::RestoreSettings()
{
    const QSettings settings;
    const QString port = settings.value(QStringLiteral("port")).toString();
    if (const int index = cbxPort->findText(port); index >= 0 && port != cbxPort->currentText()) {
        cbxPort->setCurrentIndex(index);
        emit cbxPort->activated(index);  // opens it as the user's choice would
    }
    if (settings.contains(QStringLiteral("slaveAddress"))) {
        const QString address = settings.value(QStringLiteral("slaveAddress")).toString();
        errorbox::Guard([&] {
            Master->SlaveAddress = ParseSlaveAddress(address.toStdString());
            cbxProfiAddr->setEditText(address);
            profiAddrCommit_->Acknowledge(address);
        });
    }
    if (const int count = settings.value(QStringLiteral("modules"), 0).toInt();
        count >= 1 && count < cbxNumWZMs->count()) {
        cbxNumWZMs->setCurrentIndex(count);
        cbxNumWZMsChange();
    }
    cbFastCycle->setChecked(settings.value(QStringLiteral("fastCycle"), false).toBool());
    SetAdapterAllowance(settings.value(QStringLiteral("adapterAllowance"), TCommUnit::DefaultAdapterAllowance).toInt());
    UpdateStatusBar();
    return restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
}

void TForm1::SaveSettings() const
{
    QSettings settings;
    settings.setValue(QStringLiteral("port"), cbxPort->currentText());
    settings.setValue(QStringLiteral("slaveAddress"), QString::number(Master->SlaveAddress));
    settings.setValue(QStringLiteral("modules"), Master->ModuleCount());
    settings.setValue(QStringLiteral("fastCycle"), cbFastCycle->isChecked());
    settings.setValue(QStringLiteral("adapterAllowance"), Master->CommUnit().AdapterAllowance());
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Stop first, so the link ends with no command left half way.
    if (StopButton->isEnabled()) errorbox::Guard([this] { StopButtonClick(); });
    if (Recording()) StopRecording();
    QWidget::closeEvent(event);
}
