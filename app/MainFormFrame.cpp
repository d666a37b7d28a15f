// The main window's frame: menu bar, status bar, the controls' arrangement
// for the window's size, the remembered settings and closing.
#include "MainForm.h"

#include "ErrorBox.h"
#include "FormWidgets.h"
#include "QtSerialFaces.h"
#include "SaveWhole.h"
#include "SlaveAddress.h"
#include "WZMdata.h"
#include "dp/Profi_dp.h"
#include "serial/PortTable.h"
#include "serial/VeltPort.h"

#include <QAction>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>

#include <algorithm>
#include <stdexcept>

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "unknown"
#endif
#ifndef QUORVEL_BUILD
#define QUORVEL_BUILD "unknown"
#endif

namespace {

constexpr int EditHeight = 21;

// "COM<n>" -> n, 0 for anything else.
int ComNumber(const QString& text)
{
    if (!text.startsWith(QLatin1String("COM"))) return 0;
    bool ok = false;
    const int number = text.mid(3).toInt(&ok);
    return ok ? number : 0;
}

}  // namespace

// The one place that builds the menu bar.
void TForm1::BuildMenuBar()
{
    MenuBar = new QMenuBar(this);
    FileMenu = MenuBar->addMenu(QStringLiteral("&File"));
    QAction* save = FileMenu->addAction(QStringLiteral("&Save messages..."));
    save->setObjectName(QStringLiteral("actSaveMessages"));
    connect(save, &QAction::triggered, this, [this] {
        const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Save messages"),
                                                          QStringLiteral("quorvel-messages.txt"),
                                                          QStringLiteral("Text files (*.txt);;All files (*)"));
        if (!file.isEmpty()) errorbox::Guard([&] { SaveMessages(file); });
    });
    RecordTraceAction = FileMenu->addAction(QStringLiteral("&Record trace..."));
    RecordTraceAction->setObjectName(QStringLiteral("actRecordTrace"));
    connect(RecordTraceAction, &QAction::triggered, this, [this] { errorbox::Guard([this] { RecordTraceClick(); }); });
    FileMenu->addSeparator();
    QuitAction = FileMenu->addAction(QStringLiteral("&Quit"));
    QuitAction->setShortcut(QKeySequence::Quit);
    connect(QuitAction, &QAction::triggered, this, &QWidget::close);
    BuildViewMenu();
    BuildModuleMenu();
    BuildLineMenu();
    HelpMenu = MenuBar->addMenu(QStringLiteral("&Help"));
    connect(HelpMenu->addAction(QStringLiteral("&About")), &QAction::triggered, this, [this] { ShowAbout(); });
}

void TForm1::BuildStatusBar()
{
    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(true);
    for (QLabel** label : {&lbStatusPort, &lbStatusAddress, &lbStatusModules, &lbStatusLink}) {
        *label = new QLabel(StatusBar);
        StatusBar->addWidget(*label, label == &lbStatusPort ? 1 : 0);
    }
    StartBusCounters();
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
    lbStatusPort->setText(QStringLiteral("Port: ") + port);
    lbStatusAddress->setText(QStringLiteral("Slave address: %1").arg(Master ? Master->SlaveAddress : 0));
    lbStatusModules->setText(QStringLiteral("Modules: %1").arg(Master ? Master->ModuleCount() : 0));
    lbStatusLink->setText(QStringLiteral("Link: ") + linkText_);
}

void TForm1::RefreshPortList()
{
    std::string message;
    std::vector<std::pair<std::string, std::string>> items;
    for (const porttable::TPortEntry& entry : porttable::CurrentPortTable(message))
        items.emplace_back("COM" + std::to_string(entry.comNumber), porttable::Describe(entry));
    portChooser_->Refill(items);
}

void TForm1::SaveMessages(const QString& fileName) const
{
    QString text;
    for (const auto& [time, line] : messageLog_)
        text += time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + QStringLiteral("  ") + line + '\n';
    if (QString error; !SaveWhole(fileName, text.toStdString(), error))
        throw std::runtime_error("Cannot write " + fileName.toStdString() + ": " + error.toStdString());
}

void TForm1::ShowAbout()
{
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("About Quorvel"),
                                QStringLiteral("Quorvel %1\nBuild: %2\nQt %3 (built with %4)")
                                    .arg(QStringLiteral(QUORVEL_VERSION), QStringLiteral(QUORVEL_BUILD),
                                         QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR)),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("aboutBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == body_ && event->type() == QEvent::Resize) ArrangeForSize();
    return QWidget::eventFilter(watched, event);
}

void TForm1::ArrangeForSize()
{
    const int dx = std::max(0, body_->width() - BaseWidth);
    const int dy = std::max(0, body_->height() - BaseHeight);
    // Half the extra width and a third of the extra height to the memo; the
    // rest to the parameter pages; the dumps take the full width.
    const int memoDx = dx / 2;
    const int memoDy = dy / 3;
    gbComm->setGeometry(8, 8, 601 + memoDx, 105 + memoDy);
    mMessages->setGeometry(316, 16, 277 + memoDx, 81 + memoDy);
    PageControl1->move(8, 120 + memoDy);
    gbCmdData->move(352, 120 + memoDy);
    bgWZMfunctions->move(8, 344 + memoDy);
    gbParams->setGeometry(616 + memoDx, 16, 345 + dx - memoDx, 529 + dy);
    pcParams->setGeometry(8, 16, 329 + dx - memoDx, 505 + dy);
    edbxSentData->setGeometry(8, 552 + dy, 857 + dx, EditHeight);
    edbxShowData->setGeometry(8, 576 + dy, 857 + dx, EditHeight);
    edbxSentCount->move(872 + dx, 552 + dy);
    edbxShowCount->move(872 + dx, 576 + dy);
}

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
    if (const int count = settings.value(QStringLiteral("modules"), 0).toInt(); count >= 1 && count < cbxNumWZMs->count()) {
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
