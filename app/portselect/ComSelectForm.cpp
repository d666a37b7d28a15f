#include "ComSelectForm.h"

#include "serial/PortProbe.h"
#include "serial/PortTable.h"
#include "serial/VeltPort.h"
#include "base/ComName.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <map>

TComSelectForm::TComSelectForm(QWidget* parent, TPortProbe probe) : QDialog(parent)
{
    setWindowTitle("Select Port");
    setModal(true);

    lbNotValid = new QLabel("The configured serial port is not valid.", this);
    lbChooseAnother = new QLabel("Please choose another port.", this);
    PortsComboBox = new QComboBox(this);
    PortsComboBox->setObjectName("PortsComboBox");
    PortsComboBox->setEditable(false);
    btOK = new QPushButton("OK", this);
    btOK->setDefault(true);
    btCancel = new QPushButton("Cancel", this);
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbNotValid);
    layout->addWidget(lbChooseAnother);
    layout->addWidget(PortsComboBox);
    layout->addLayout(buttons);

    FillPorts(probe ? probe : [](int n) { return ProbeComPort(n); });
}

void TComSelectForm::FillPorts(const TPortProbe& probe)
{
    std::string message;
    std::map<int, std::string> tooltips;
    for (const porttable::TPortEntry& e : porttable::CurrentPortTable(message))
        tooltips[e.comNumber] = porttable::Describe(e);
    for (int n = 1; n <= MaxListedPort; ++n) {
        if (!probe(n)) continue;
        PortsComboBox->addItem(QString("COM%1").arg(n));
        PortsComboBox->setItemData(PortsComboBox->count() - 1, QString::fromStdString(tooltips[n]), Qt::ToolTipRole);
    }
    if (PortsComboBox->count() > 0) PortsComboBox->setCurrentIndex(0);
}

int TComSelectForm::SelectedComNumber() const
{
    return ParseComName(PortsComboBox->currentText().toStdString()).value_or(0);
}

void InstallPortSelectPrompt(QWidget* parent)
{
    TVeltCustomComPort::SetDefaultPortPrompt([parent](int& comNumber) {
        TComSelectForm form(parent);
        if (form.exec() != QDialog::Accepted || form.SelectedComNumber() <= 0) return false;
        comNumber = form.SelectedComNumber();
        return true;
    });
}
