// The "Select Port" dialog with real pseudo-terminals linked as COM<n>, and
// as the port component's prompt for an unset port number.
#include "app/portselect/ComSelectForm.h"
#include "tests/support/LinkedPorts.h"
#include "serial/VeltExcept.h"
#include "serial/VeltPort.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QStringList Items(const QComboBox& combo)
{
    QStringList items;
    for (int i = 0; i < combo.count(); ++i) items << combo.itemText(i);
    return items;
}

// Presses a button of the dialog as soon as it is shown modally.
void PressWhenShown(const QString& button)
{
    QTimer::singleShot(0, [button] {
        auto* form = qobject_cast<TComSelectForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        (button == "OK" ? form->btOK : form->btCancel)->click();
    });
}

}  // namespace

TEST(ComSelectForm, ListsThePortsThatOpenWithTheirDevices)
{
    LinkedPorts ports;
    PtyPair& com3 = ports.Add(3);
    ports.Add(7);
    ports.Add(51);  // beyond the list
    TComSelectForm form;
    EXPECT_EQ(form.windowTitle(), "Select Port");
    EXPECT_EQ(form.lbNotValid->text(), "The configured serial port is not valid.");
    EXPECT_EQ(form.lbChooseAnother->text(), "Please choose another port.");
    EXPECT_EQ(form.btOK->text(), "OK");
    EXPECT_EQ(form.btCancel->text(), "Cancel");
    EXPECT_EQ(form.PortsComboBox->objectName(), "PortsComboBox");
    EXPECT_EQ(Items(*form.PortsComboBox), (QStringList{"COM3", "COM7"}));
    EXPECT_EQ(form.PortsComboBox->itemData(0, Qt::ToolTipRole).toString().toStdString(), com3.path);
    EXPECT_EQ(form.PortsComboBox->currentIndex(), 0);
    EXPECT_EQ(form.SelectedComNumber(), 3);
    form.PortsComboBox->setCurrentIndex(1);
    EXPECT_EQ(form.SelectedComNumber(), 7);
}

TEST(ComSelectForm, OffersAtMostFiftyPortsAndNothingWhenNoneOpens)
{
    TComSelectForm all(nullptr, [](int) { return true; });
    EXPECT_EQ(all.PortsComboBox->count(), 50);
    EXPECT_EQ(all.PortsComboBox->itemText(49), "COM50");
    TComSelectForm none(nullptr, [](int) { return false; });
    EXPECT_EQ(none.PortsComboBox->count(), 0);
    EXPECT_EQ(none.SelectedComNumber(), 0);
}

TEST(ComSelectForm, IsThePortComponentsPromptForAnUnsetPort)
{
    LinkedPorts ports;
    ports.Add(4);
    InstallPortSelectPrompt(nullptr);
    TVeltComPort port;
    PressWhenShown("Cancel");
    EXPECT_THROW(port.OpenPort(), ENoPortSelected);
    EXPECT_FALSE(port.Open());

    PressWhenShown("OK");
    port.OpenPort();
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.ComNumber(), 4);
    TVeltCustomComPort::SetDefaultPortPrompt(nullptr);
}
