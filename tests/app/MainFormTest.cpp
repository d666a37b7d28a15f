// The main window on its own: start-up state, Start and Stop, the combo boxes
// and module tabs, with the real port component on a pseudo-terminal.
#include "MainFormTestSupport.h"

#include "module/Parameters.h"

#include <QKeyEvent>

using namespace apptest;

namespace {

void PressEnter(QWidget* target)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

}  // namespace

TEST_F(WindowTest, StartsIdleWithOnePageOnThePreferredPort)
{
    EXPECT_EQ(form->edbxCommStatus->text(), "edbxCommStatus");
    EXPECT_EQ(form->edbxResult->text(), "edbxResult");
    EXPECT_EQ(form->Master->CurrentState().State, stIdle);
    EXPECT_EQ(form->Master->SlaveAddress, 3);
    ASSERT_EQ(form->PageControl1->count(), 1);
    EXPECT_EQ(form->PageControl1->tabText(0), "WZM 0");
    EXPECT_NE(form->Pages[0], nullptr);
    EXPECT_EQ(form->Pages[1], nullptr);
    EXPECT_EQ(form->cbxWZMaddr->currentText(), "0");
    EXPECT_EQ(form->cbxWZMaddr->count(), 64);
    EXPECT_EQ(form->cbxNumWZMs->currentText(), "1");
    EXPECT_EQ(form->cbxNumWZMs->count(), 9);
    EXPECT_EQ(form->cbxPort->currentText(), "COM2");
    EXPECT_TRUE(form->Master->CommUnit().Port().Open());
    EXPECT_TRUE(form->StartButton->isEnabled());
    EXPECT_TRUE(form->StartButton->isDefault());
    EXPECT_FALSE(form->StopButton->isEnabled());
    EXPECT_TRUE(form->cbxPort->isEnabled() && form->cbxProfiAddr->isEnabled() && form->cbxNumWZMs->isEnabled());
    EXPECT_EQ(form->pcParams->tabText(form->pcParams->currentIndex()), "Standard");
    ASSERT_NE(form->Parameters, nullptr);
    EXPECT_EQ(form->Parameters->SheetCount, 4);
    EXPECT_NE(form->Functions, nullptr);
    EXPECT_EQ(HexDump(form->Master->OutputData), " 00 00 00 00 00 00 00 00 00");

    Pump(250);
    EXPECT_EQ(ReadFarText(line, 0ms, 0ms), "") << "nothing is sent before Start";
    EXPECT_EQ(ErrorBoxText(), "");
}

TEST_F(WindowTest, StartAndStopFollowTheirTable)
{
    form->StartButton->click();
    EXPECT_FALSE(form->StartButton->isEnabled());
    EXPECT_FALSE(form->StartButton->isDefault());
    EXPECT_TRUE(form->StopButton->isEnabled());
    EXPECT_TRUE(form->StopButton->isDefault());
    EXPECT_FALSE(form->cbxPort->isEnabled());
    EXPECT_FALSE(form->cbxNumWZMs->isEnabled());
    EXPECT_TRUE(form->cbxProfiAddr->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return ReadFarText(line, 0ms, 0ms).find("\xFE\xFF\x01") != std::string::npos; }, 1000))
        << "the start sequence goes out on the open port";

    PressEnter(form.get());  // Stop is the default button until connected
    EXPECT_EQ(form->Master->CurrentState().State, stIdle);
    EXPECT_EQ(form->edbxCommStatus->text(), "Not Connected");
    EXPECT_EQ(form->edbxCommStatus->palette().color(QPalette::Text), QColor(128, 0, 0));
    EXPECT_TRUE(form->StartButton->isEnabled());
    EXPECT_TRUE(form->StartButton->isDefault());
    EXPECT_FALSE(form->StopButton->isEnabled());
    EXPECT_FALSE(form->StopButton->isDefault());
    EXPECT_TRUE(form->cbxPort->isEnabled() && form->cbxProfiAddr->isEnabled() && form->cbxNumWZMs->isEnabled());
    EXPECT_TRUE(form->Master->CommUnit().Port().Open()) << "Stop leaves the port open";

    PressEnter(form.get());  // Start is the default button again
    EXPECT_EQ(form->Master->CurrentState().State, stStart);
    form->StateChanged(MasterState{stDataExchange, 0, 0, 0});
    EXPECT_FALSE(form->StopButton->isDefault());
    PressEnter(form.get());
    EXPECT_NE(form->Master->CurrentState().State, stIdle) << "once connected Enter no longer stops";
}

TEST_F(WindowTest, EnterInAComboBoxOnlyFinishesTheTyping)
{
    form->cbxProfiAddr->setFocus();
    PressEnter(form->cbxProfiAddr->lineEdit());
    EXPECT_EQ(form->Master->CurrentState().State, stIdle);
}

TEST_F(WindowTest, ModuleCountCreatesAndFreesPagesAtTheEnd)
{
    Choose(form->cbxNumWZMs, 0);
    EXPECT_EQ(form->cbxNumWZMs->currentText(), "1") << "no modules means one";
    EXPECT_EQ(form->PageControl1->count(), 1);

    Choose(form->cbxNumWZMs, 3);
    ASSERT_EQ(form->PageControl1->count(), 3);
    EXPECT_EQ(form->PageControl1->tabText(2), "WZM 2");
    EXPECT_EQ(form->Master->ModuleCount(), 3);
    EXPECT_EQ(form->Master->OutputData.size(), 11u);
    form->Pages[2]->edbxGross->setText("old");

    Choose(form->cbxNumWZMs, 2);
    EXPECT_EQ(form->PageControl1->count(), 2);
    EXPECT_EQ(form->Pages[2], nullptr);
    Choose(form->cbxNumWZMs, 3);
    ASSERT_NE(form->Pages[2], nullptr);
    EXPECT_EQ(form->Pages[2]->edbxGross->text(), "edbxGross") << "a page made again starts fresh";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(form->PageControl1->tabText(i), QString("WZM %1").arg(i));

    TypeAndEnter(form->cbxNumWZMs, "twelve");
    EXPECT_EQ(form->cbxNumWZMs->currentText(), "1");
    EXPECT_EQ(form->PageControl1->count(), 1);
    TypeAndEnter(form->cbxNumWZMs, "4");
    EXPECT_EQ(form->PageControl1->count(), 4);
    EXPECT_EQ(ErrorBoxText(), "");
}

TEST_F(WindowTest, HalfTypedModuleCountChangesNothing)
{
    form->cbxNumWZMs->lineEdit()->setText("5");
    Pump(10);
    EXPECT_EQ(form->PageControl1->count(), 1);
    EXPECT_EQ(form->Master->ModuleCount(), 1);
}

TEST_F(WindowTest, UnitAddressAndModuleTabsSetOutputByteZero)
{
    Choose(form->cbxNumWZMs, 2);
    Choose(form->cbxWZMaddr, 5);
    EXPECT_EQ(form->PageControl1->currentIndex(), 0) << "no page 5: page 0 is shown";
    EXPECT_EQ(Out()[0], 5);

    form->PageControl1->setCurrentIndex(1);  // the user clicks tab "WZM 1"
    EXPECT_EQ(form->cbxWZMaddr->currentText(), "1");
    EXPECT_EQ(Out()[0], 1);

    Choose(form->cbxWZMaddr, 0);
    EXPECT_EQ(form->PageControl1->currentIndex(), 0);
    Choose(form->cbxWZMaddr, 1);
    EXPECT_EQ(form->PageControl1->currentIndex(), 1);

    Choose(form->cbxNumWZMs, 3);
    EXPECT_EQ(Out()[0], 0) << "a new module count rebuilds the output bytes";
    EXPECT_EQ(form->cbxWZMaddr->currentText(), "1");
}

TEST_F(WindowTest, ProfibusAddressTakesOnlyFinishedValidNumbers)
{
    form->cbxProfiAddr->lineEdit()->setText("4");
    EXPECT_EQ(form->Master->SlaveAddress, 3) << "typing alone does nothing";
    emit form->cbxProfiAddr->lineEdit()->editingFinished();
    EXPECT_EQ(form->Master->SlaveAddress, 4);

    TypeAndEnter(form->cbxProfiAddr, "abc");
    EXPECT_EQ(ErrorBoxText(), "'abc' is not a valid integer value");
    EXPECT_EQ(form->Master->SlaveAddress, 4);
    emit form->cbxProfiAddr->lineEdit()->editingFinished();  // leaving the box with the same text
    EXPECT_EQ(ErrorBoxText(), "") << "the same text is not refused twice";

    TypeAndEnter(form->cbxProfiAddr, "127");
    EXPECT_EQ(ErrorBoxText(), "'127' is not a valid PROFIBUS address (0 to 126)");
    TypeAndEnter(form->cbxProfiAddr, "-1");
    EXPECT_EQ(ErrorBoxText(), "'-1' is not a valid PROFIBUS address (0 to 126)");
    EXPECT_EQ(form->Master->SlaveAddress, 4);

    TypeAndEnter(form->cbxProfiAddr, "126");
    EXPECT_EQ(form->Master->SlaveAddress, 126);
    TypeAndEnter(form->cbxProfiAddr, "0");
    EXPECT_EQ(form->Master->SlaveAddress, 0);
}

TEST_F(WindowTest, PortBoxActsOnlyWhenTypingIsFinished)
{
    PtyPair other;
    tree.Link(5, other.path);
    auto& port = form->Master->CommUnit().Port();

    form->cbxPort->lineEdit()->setText("COM");
    Pump(50);
    EXPECT_TRUE(port.Open()) << "a half-typed name does not close the port";
    EXPECT_EQ(port.ComNumber(), 2);

    TypeAndEnter(form->cbxPort, "COM5");
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.ComNumber(), 5);

    TypeAndEnter(form->cbxPort, "COM");
    EXPECT_EQ(ErrorBoxText(), "'' is not a valid integer value");
    EXPECT_FALSE(port.Open());

    Choose(form->cbxPort, 0);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.ComNumber(), 2);
}

TEST(WindowStartUp, WithoutAnyPortTheWindowStillComesUp)
{
    TTempTree tree;
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
    TForm1 form;
    EXPECT_NE(ErrorBoxText(), "") << "the failed open is reported";
    EXPECT_FALSE(form.Master->CommUnit().Port().Open());
    EXPECT_NE(form.Pages[0], nullptr);
    EXPECT_NE(form.Functions, nullptr);
    EXPECT_EQ(form.Parameters->SheetCount, 4);
    EXPECT_EQ(form.cbxNumWZMs->count(), 9);
    EXPECT_EQ(form.Master->SlaveAddress, 3);
    form.StartButton->click();
    Pump(120);

    // A port that appears later is opened by choosing it, and the link runs.
    PtyPair line;
    tree.Link(3, line.path);
    TypeAndEnter(form.cbxPort, "COM3");
    EXPECT_TRUE(form.Master->CommUnit().Port().Open());
    EXPECT_TRUE(WaitFor([&] { return ReadFarText(line, 0ms, 0ms).find("\xFE\xFF\x01") != std::string::npos; }, 1000));
    EXPECT_EQ(ErrorBoxText(), "");
}

TEST(WindowStartUp, WithoutConfigurationTheWindowRunsWithoutParameterPages)
{
    TTempTree tree(false);
    PtyPair line;
    tree.Link(2, line.path);
    TForm1 form;
    EXPECT_TRUE(ErrorBoxText().contains("Quorvel.conf not found"));
    ASSERT_NE(form.Parameters, nullptr);
    EXPECT_EQ(form.Parameters->SheetCount, 0);
    EXPECT_TRUE(form.Master->CommUnit().Port().Open());
    form.StartButton->click();
    EXPECT_TRUE(WaitFor([&] { return ReadFarText(line, 0ms, 0ms).find("\xFE\xFF\x01") != std::string::npos; }, 1000));
}
