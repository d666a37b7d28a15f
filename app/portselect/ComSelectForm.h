// "Select Port": asks the user for a serial port when the port component has
// no port number. Lists "COM<n>" for every port 1..50 that opens, each with
// its device path (and a USB adapter's product name) as tooltip.
#pragma once

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;

class TComSelectForm : public QDialog {
    Q_OBJECT
public:
    // Tells whether port `comNumber` can be opened now.
    using TPortProbe = std::function<bool(int comNumber)>;

    // Highest port number offered.
    static constexpr int MaxListedPort = 50;

    // Probes the ports with `probe`, or by opening each one when none is given.
    explicit TComSelectForm(QWidget* parent = nullptr, TPortProbe probe = {});

    // The number of the chosen entry (its text from the fourth character on),
    // 0 when the list is empty.
    int SelectedComNumber() const;

    QComboBox* PortsComboBox = nullptr;
    QLabel* lbNotValid = nullptr;
    QLabel* lbChooseAnother = nullptr;
    QPushButton* btOK = nullptr;
    QPushButton* btCancel = nullptr;

private:
    void FillPorts(const TPortProbe& probe);
};

// Installs the dialog as the port component's process-wide prompt for an
// unset port number. `parent` is the window the dialog is centred on.
void InstallPortSelectPrompt(QWidget* parent);
