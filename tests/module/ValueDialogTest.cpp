// The value-entry dialogs: the bytes Set sends, the point bits, the
// "Illegal data" refusal, and what opening reads.
#include "Dialog1.h"
#include "Dialog2.h"
#include "Dialog4.h"
#include "FunctionButton.h"
#include "Hex.h"
#include "QtTestSupport.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace {

struct TSent {
    int Module;
    std::string Bytes;
};

class ValueDialogs : public ::testing::Test {
protected:
    ValueDialogs() : functions(&box) { box.resize(601, 201); }

    TCommandEvent Recorder()
    {
        return [this](std::uint8_t module, const TByteString& command) {
            sent.push_back({module, HexFromBytes(command)});
        };
    }
    const TFnButton& Key(int position) { return *functions.Button(position); }
    // Opens the single-value dialog the way the main window does for a key.
    void OpenForm1(int position, std::uint8_t module)
    {
        form1.SetOnCommand(Recorder());
        form1.Open(Key(position).DialogCaption, Key(position).Hint());
        form1.SetTarget(module, Key(position).ValueCommand);
    }
    void Choose(TPointDialog& dialog, int point)
    {
        dialog.ComboBox1->setCurrentIndex(point);
        emit dialog.ComboBox1->activated(point);
    }

    QGroupBox box;
    TFunctions functions;
    TDialogForm1 form1;
    TDialogForm2 form2;
    TDialogForm4 form4;
    std::vector<TSent> sent;
};

TEST_F(ValueDialogs, SingleValueSetSendsTheValueLeastSignificantFirst)
{
    OpenForm1(50, 3);  // TL
    EXPECT_TRUE(form1.isVisible());
    EXPECT_EQ(form1.windowTitle(), QStringLiteral("TL - Set trigger level"));
    EXPECT_EQ(form1.toolTip(), QStringLiteral("Set the trigger level for start of measurement"));
    EXPECT_EQ(form1.Edit1->text(), QStringLiteral("?"));
    form1.ShowValue(-7);  // the answer to the read
    EXPECT_EQ(form1.Edit1->text(), QStringLiteral("-7"));

    form1.Edit1->setText(QStringLiteral("100"));
    form1.Button1->click();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Module, 3);
    EXPECT_EQ(sent[0].Bytes, "26 81 64 00 00 00");
    EXPECT_FALSE(form1.isVisible());

    // A second opening starts again from the key's own command.
    OpenForm1(16, 1);  // FL
    form1.Edit1->setText(QStringLiteral(" -2147483648 "));
    form1.SetClick();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].Bytes, "1F 04 00 00 00 80");
}

TEST_F(ValueDialogs, TextThatIsNoInt32GivesIllegalDataAndSendsNothing)
{
    for (const char* text : {"abc", "?", "2147483648", "-2147483649", "", "12x", "+-5", "0x10"}) {
        SCOPED_TRACE(text);
        OpenForm1(0, 1);
        form1.Edit1->setText(QString::fromLatin1(text));
        TModalBoxWatcher watcher;
        form1.Button1->click();
        EXPECT_EQ(watcher.Shown, 1);
        EXPECT_EQ(watcher.Text, QStringLiteral("Illegal data"));
        EXPECT_EQ(watcher.Title, QStringLiteral("SendCommand"));
        EXPECT_EQ(watcher.Icon, QMessageBox::Critical);
        EXPECT_EQ(watcher.Buttons, QMessageBox::Ok);
        EXPECT_FALSE(form1.isVisible());
    }
    EXPECT_TRUE(sent.empty());
}

TEST_F(ValueDialogs, AFailingCommandHandlerAlsoGivesIllegalData)
{
    OpenForm1(0, 1);
    form1.SetOnCommand([](std::uint8_t, const TByteString&) { throw std::runtime_error("queue full"); });
    form1.Edit1->setText(QStringLiteral("1"));
    TModalBoxWatcher watcher;
    form1.SetClick();
    EXPECT_EQ(watcher.Shown, 1);
    EXPECT_FALSE(form1.isVisible());
}

TEST_F(ValueDialogs, CancelAndUnsetHandlerSendNothingButHide)
{
    OpenForm1(0, 1);
    form1.Edit1->setText(QStringLiteral("5"));
    form1.Button2->click();
    EXPECT_FALSE(form1.isVisible());

    TDialogForm1 unwired;
    unwired.Open(QStringLiteral("x"), QString());
    unwired.Edit1->setText(QStringLiteral("5"));
    unwired.SetClick();
    EXPECT_FALSE(unwired.isVisible());

    OpenForm1(0, 1);
    form1.reject();  // Escape or the window's close
    EXPECT_FALSE(form1.isVisible());
    EXPECT_TRUE(sent.empty());
}

TEST_F(ValueDialogs, CommandsAreCutAt255Bytes)
{
    form1.SetOnCommand(Recorder());
    form1.Open(QStringLiteral("long"), QString());
    form1.SetTarget(0, TByteString::Filled(253, 0x11));
    form1.Edit1->setText(QStringLiteral("258"));  // 02 01 00 00
    form1.SetClick();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Bytes.size(), 255u * 3 - 1);
    EXPECT_EQ(sent[0].Bytes.substr(sent[0].Bytes.size() - 5), "02 01");
}

TEST_F(ValueDialogs, SetpointDialogReadsAndWritesThePointChosen)
{
    form2.SetOnCommand(Recorder());
    form2.Open(2, Key(40));  // S
    EXPECT_EQ(form2.windowTitle(), QStringLiteral("S - Setpoint"));
    EXPECT_EQ(form2.ComboBox1->count(), 4);
    EXPECT_EQ(form2.ComboBox1->currentIndex(), 0);
    EXPECT_EQ(form2.Label1->text(), QStringLiteral("Point nr"));
    EXPECT_EQ(form2.Edit1->text(), QStringLiteral("?"));
    Choose(form2, 2);
    form2.Edit1->setText(QStringLiteral("-1"));
    form2.SetClick();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].Bytes, "1D 30");
    EXPECT_EQ(sent[1].Bytes, "1D 32");
    EXPECT_EQ(sent[2].Bytes, "1D 62 FF FF FF FF");
    EXPECT_EQ(sent[2].Module, 2);
    EXPECT_FALSE(form2.isVisible());
}

TEST_F(ValueDialogs, ChoosingAPointReplacesOnlyTheLowFourBits)
{
    form2.SetOnCommand(Recorder());
    form2.Open(0, Key(41));  // H
    Choose(form2, 3);
    Choose(form2, 1);
    form2.Edit1->setText(QStringLiteral("5"));
    form2.SetClick();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[1].Bytes, "1D 23");
    EXPECT_EQ(sent[2].Bytes, "1D 21");
    EXPECT_EQ(sent[3].Bytes, "1D 51 05 00 00 00");

    // Reopening starts from the key's commands again.
    sent.clear();
    form2.Open(0, Key(41));
    EXPECT_EQ(sent.at(0).Bytes, "1D 20");
}

TEST_F(ValueDialogs, NoPointSelectedKeepsTheIndexByte)
{
    form2.SetOnCommand(Recorder());
    form2.Open(0, Key(42));  // A
    Choose(form2, 2);
    form2.ComboBox1->setCurrentIndex(-1);
    form2.ComboBox1Change();
    form2.Edit1->setText(QStringLiteral("1"));
    form2.SetClick();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[1].Bytes, "1D 12");
    EXPECT_EQ(sent[2].Bytes, "1D 12");
    EXPECT_EQ(sent[3].Bytes, "1D 40 01 00 00 00");
}

TEST_F(ValueDialogs, LinearisationDialogOffersSevenPoints)
{
    form4.SetOnCommand(Recorder());
    form4.Open(1, Key(34));  // LinY
    EXPECT_EQ(form4.ComboBox1->count(), 7);
    EXPECT_EQ(form4.Label1->text(), QStringLiteral("Point nr."));
    EXPECT_EQ(form4.windowTitle(), QStringLiteral("Y - Linearization"));
    Choose(form4, 6);
    form4.Edit1->setText(QStringLiteral("1000"));
    form4.Button1->click();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].Bytes, "2B 20");
    EXPECT_EQ(sent[1].Bytes, "2B 26");
    EXPECT_EQ(sent[2].Bytes, "2B 56 E8 03 00 00");
}

TEST_F(ValueDialogs, PointDialogWithoutHandlerOpensAndSendsNothing)
{
    form4.Open(1, Key(33));
    EXPECT_TRUE(form4.isVisible());
    Choose(form4, 3);
    form4.Edit1->setText(QStringLiteral("1"));
    form4.SetClick();
    EXPECT_FALSE(form4.isVisible());
    EXPECT_TRUE(sent.empty());
}

}  // namespace
