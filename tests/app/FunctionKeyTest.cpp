// Function keys through the main window: each kind queues its command or
// opens its dialog, and the open dialogs get the answers.
#include "MainFormTestSupport.h"

#include "app/AppWindows.h"
#include "module/Dialog1.h"
#include "module/Dialog2.h"
#include "module/Dialog3.h"
#include "module/Dialog4.h"
#include "module/FunctionButton.h"

#include <QKeyEvent>
#include <QComboBox>
#include <QLabel>
#include <QScreen>

using namespace apptest;

namespace {

class FunctionKeyTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        DialogForm1 = dialog1.get();
        DialogForm2 = dialog2.get();
        DialogForm3 = dialog3.get();
        DialogForm4 = dialog4.get();
    }
    void TearDown() override
    {
        DialogForm1 = nullptr;
        DialogForm2 = nullptr;
        DialogForm3 = nullptr;
        DialogForm4 = nullptr;
        WindowTest::TearDown();
    }
    TFnButton* FirstOfKind(TFnKind kind) const
    {
        for (int i = 0; i < TFunctions::ButtonCount; ++i)
            if (TFnButton* b = form->Functions->Button(i); b && b->Used && b->Kind == kind) return b;
        return nullptr;
    }

    std::unique_ptr<TDialogForm1> dialog1 = std::make_unique<TDialogForm1>();
    std::unique_ptr<TDialogForm2> dialog2 = std::make_unique<TDialogForm2>();
    std::unique_ptr<TDialogForm3> dialog3 = std::make_unique<TDialogForm3>();
    std::unique_ptr<TDialogForm4> dialog4 = std::make_unique<TDialogForm4>();
};

QMessageBox* VisibleBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    return nullptr;
}

}  // namespace

TEST_F(FunctionKeyTest, UnassignedKeySaysSoWithItsNumber)
{
    TFnButton key(nullptr);
    key.Tag = 12;
    form->FunctionClick(&key);
    QMessageBox* box = VisibleBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Function Key [12]");
    EXPECT_EQ(box->text(), "Unassigned Key");
    EXPECT_FALSE(form->Channel.Pending());
}

TEST_F(FunctionKeyTest, SendKeyQueuesItsCommandForTheChosenModule)
{
    Choose(form->cbxNumWZMs, 2);
    Choose(form->cbxWZMaddr, 1);
    TFnButton* key = FirstOfKind(fkSend);
    ASSERT_NE(key, nullptr);
    form->FunctionClick(key);
    EXPECT_TRUE(form->Channel.Pending());
    EXPECT_EQ(Out()[2], key->ClickCommand[0]);
    EXPECT_TRUE(LastLine(form->mMessages).startsWith("Cmd(01: 01 00"));
}

TEST_F(FunctionKeyTest, ValueKeyOpensItsDialogWhichShowsTheAnswer)
{
    TFnButton* key = FirstOfKind(fkValue);
    ASSERT_NE(key, nullptr);
    form->setGeometry(40, 40, 640, 480);
    form->show();
    form->FunctionClick(key);
    ASSERT_TRUE(dialog1->isVisible());
    ExpectCentredOn(*dialog1, *form);
    EXPECT_EQ(dialog1->windowTitle(), key->DialogCaption);
    EXPECT_EQ(dialog1->Edit1->text(), "?");
    EXPECT_EQ(Out()[2], key->ClickCommand[0]) << "the present value is read";
    form->ReceiveTelegram(ChannelResponse(0x01, Out()[3], 250));
    EXPECT_EQ(dialog1->Edit1->text(), "250");
}

TEST_F(FunctionKeyTest, MassFlowKeyOpensTheControlDialogWhichShowsTheState)
{
    TFnButton* key = FirstOfKind(fkMassFlow);
    ASSERT_NE(key, nullptr);
    form->setGeometry(40, 40, 640, 480);
    form->show();
    form->FunctionClick(key);
    ASSERT_TRUE(dialog3->isVisible());
    ExpectCentredOn(*dialog3, *form);
    EXPECT_EQ(HexDump(Out().Mid(2, 2)), " 29 01");
    form->ReceiveTelegram(ChannelResponse(0x01, 0x01, 0x10));
    EXPECT_EQ(dialog3->lbLiwState->text(), "Running");
}

TEST_F(FunctionKeyTest, SetpointKeyLetsItsDialogReadPointZero)
{
    TFnButton* key = FirstOfKind(fkSetpoint);
    ASSERT_NE(key, nullptr);
    form->FunctionClick(key);
    ASSERT_TRUE(dialog2->isVisible());
    EXPECT_TRUE(form->Channel.Pending()) << "the dialog sends its own first command";
    EXPECT_EQ(Out()[2], key->ClickCommand[0]);
    form->ReceiveTelegram(ChannelResponse(0x01, Out()[3], -5));
    EXPECT_EQ(dialog2->Edit1->text(), "-5");
}

// A value dialog opened for module 2 writes there, shows only the answer to
// its own read, never over the user's typing, and Enter in it is its Set.
TEST_F(FunctionKeyTest, ValueDialogKeepsToItsModuleItsAnswerAndItsUser)
{
    Choose(form->cbxNumWZMs, 3);
    Choose(form->cbxWZMaddr, 2);
    TFnButton* key = FirstOfKind(fkValue);
    ASSERT_NE(key, nullptr);
    form->FunctionClick(key);
    form->ReceiveTelegram(ChannelResponse(0x01, Out()[3], 250));
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    form->QueueCommand(2, {0x10});
    form->ReceiveTelegram(ChannelResponse(0x03, 0, 77));
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    EXPECT_EQ(dialog1->Edit1->text(), "250") << "another command's result is not the dialog's";

    form->FunctionClick(key);
    dialog1->Edit1->setText("300");
    dialog1->Edit1->setModified(true);  // the user types before the answer comes
    form->ReceiveTelegram(ChannelResponse(0x01, Out()[3], 250));
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    EXPECT_EQ(dialog1->Edit1->text(), "300");

    Choose(form->cbxWZMaddr, 0);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog1->Edit1, &enter);
    EXPECT_FALSE(dialog1->isVisible());
    EXPECT_EQ(form->Master->CurrentState().State, stIdle);
    ASSERT_TRUE(form->Channel.Pending());
    EXPECT_EQ(Out()[0], 2) << "the Set goes to the dialog's module";
    EXPECT_EQ(Out()[2], key->ValueCommand[0]);
}

// CE and CG read with one Cmd and differ in the Index: CG clicked before CE's
// answer came shows CG's value, never CE's; a point dialog shows only the
// point chosen last.
TEST_F(FunctionKeyTest, DialogsTakeOnlyTheAnswerToTheCommandTheyAsked)
{
    TFnButton* ce = form->Functions->Button(0);
    TFnButton* cg = form->Functions->Button(2);
    ASSERT_TRUE(ce && cg && ce->ClickCommand[0] == cg->ClickCommand[0]);
    form->FunctionClick(ce);
    form->FunctionClick(cg);
    form->ReceiveTelegram(ChannelResponse(0x01, Out()[3], 1));  // CE's answer
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    EXPECT_EQ(dialog1->Edit1->text(), "?");
    EXPECT_EQ(Out()[3], cg->ClickCommand[1]);
    form->ReceiveTelegram(ChannelResponse(0x01, Out()[3], 20000));
    EXPECT_EQ(dialog1->Edit1->text(), "20000");
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));

    form->FunctionClick(FirstOfKind(fkSetpoint));  // reads point 0
    dialog2->ComboBox1->setCurrentIndex(2);
    dialog2->ComboBox1Change();
    form->ReceiveTelegram(ChannelResponse(0x01, Out()[3], 7));  // point 0's answer
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    EXPECT_EQ(dialog2->Edit1->text(), "?");
    form->ReceiveTelegram(ChannelResponse(0x01, Out()[3], 9));
    EXPECT_EQ(dialog2->Edit1->text(), "9");
}
