// The main window's remembered settings (port, slave address, module count,
// fast cycle, geometry) and closing. They live in window.conf, not in a file
// that shares its name with the parameter pages' Quorvel.conf.
#include "MainForm.h"

#include "ErrorBox.h"
#include "FormWidgets.h"
#include "LineControl.h"
#include "TraceControl.h"
#include "core/SlaveAddress.h"
#include "dp/Profi_dp.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QSettings>

namespace {

QString Organization() { return QCoreApplication::organizationName(); }

// Settings an earlier version kept under the application's name are taken
// over once, and their file removed when the new one is written.
void MoveOldSettings()
{
    QSettings current(Organization(), QString::fromLatin1(TForm1::SettingsName));
    if (!current.allKeys().isEmpty()) return;
    QString oldFile;
    {
        const QSettings old(Organization(), QCoreApplication::applicationName());
        oldFile = old.fileName();
        const QStringList keys = old.allKeys();
        if (keys.isEmpty() || oldFile == current.fileName()) return;
        for (const QString& key : keys) current.setValue(key, old.value(key));
    }
    current.sync();
    if (current.status() == QSettings::NoError) QFile::remove(oldFile);  // kept when the new file failed
}

}  // namespace

bool TForm1::RestoreSettings()
{
    MoveOldSettings();
    const QSettings settings(Organization(), QString::fromLatin1(SettingsName));
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
    line_->SetAdapterAllowance(
        settings.value(QStringLiteral("adapterAllowance"), TCommUnit::DefaultAdapterAllowance).toInt());
    UpdateStatusBar();
    return restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
}

void TForm1::SaveSettings() const
{
    QSettings settings(Organization(), QString::fromLatin1(SettingsName));
    // An empty port box (no port on this run) keeps the port remembered.
    if (const QString port = cbxPort->currentText().trimmed(); !port.isEmpty())
        settings.setValue(QStringLiteral("port"), port);
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
    trace_->Stop();
    QWidget::closeEvent(event);
}
