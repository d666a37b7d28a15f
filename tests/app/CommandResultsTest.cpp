// Command results and the parameter pages' Read and Set through the main
// window offscreen: reads that go ahead of queued commands, refusals inside
// and outside a read, writes with their command bytes and confirmation.
#include "MainFormTestSupport.h"

#include "module/FillCell.h"
#include "module/Parameters.h"

using namespace apptest;

namespace {

class CommandResults : public WindowTest {
protected:
    std::string OutCommand(std::size_t bytes = 2) { return HexDump(Out().Mid(2, bytes)); }
    // The module answers the placed command, then shows the channel empty.
    void Answer(std::uint8_t stat, std::int32_t value)
    {
        form->ReceiveTelegram(ChannelResponse(stat, Out()[3], value));
        form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    }
    TFillCell* Cell(int sheet, int item) { return form->Parameters->Sheet(sheet)->Item(item); }
    // The user types `text` into an item's edit and clicks its Set.
    void TypeAndSet(int sheet, int item, const QString& text)
    {
        Cell(sheet, item)->Edit->setText(text);
        Cell(sheet, item)->SetButton->setEnabled(true);
        Cell(sheet, item)->SetButton->click();
    }
};

}  // namespace

TEST_F(CommandResults, PageReadGoesAheadOfQueuedCommands)
{
    form->QueueCommand(0, {0x10});  // out
    form->QueueCommand(0, {0x23});  // waits
    form->ReadParameters(1);        // Trigger, 8 items
    EXPECT_EQ(OutCommand(), " 10 00") << "the command already out stays";
    Answer(0x01, 7);
    EXPECT_EQ(form->edbxResult->text(), "7");
    const int items = form->Parameters->Sheet(1)->ItemCount;
    for (int item = 1; item <= items; ++item) {
        ASSERT_EQ(OutCommand(), HexDump(TByteString{0x26, static_cast<std::uint8_t>(item)})) << item;
        Answer(0x01, 100 + item);
    }
    EXPECT_EQ(form->Read.Item(), 0u) << "the free channel after the last item ends the read";
    EXPECT_EQ(Out()[2], 0);
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    EXPECT_EQ(OutCommand(), " 23 00") << "the queue goes on after the page";
    for (int item = 1; item <= items; ++item) EXPECT_EQ(Cell(1, item)->Edit->text(), QString::number(100 + item));
}

TEST_F(CommandResults, RefusalOfACommandOutBeforeReadIsLoggedAndGreysNothing)
{
    form->QueueCommand(0, {0x1E});  // tare, out when Read is clicked
    form->ReadParameters(0);
    Answer(0x48, 0);
    EXPECT_EQ(form->edbxResult->text(), "** NOT_STABLE **");
    EXPECT_TRUE(form->mMessages->toPlainText().contains("** NOT_STABLE **"));
    EXPECT_TRUE(Cell(0, 1)->Edit->isEnabled());
    EXPECT_EQ(OutCommand(), " 12 01") << "the read starts once the channel is free";

    Answer(0x4B, 0);  // item 1 refused inside the read: greyed, not logged
    EXPECT_FALSE(Cell(0, 1)->Edit->isEnabled());
    EXPECT_EQ(form->edbxResult->text(), "");
    EXPECT_FALSE(form->mMessages->toPlainText().contains("** BAD_GEN_VALUE_ID **"));
    EXPECT_EQ(OutCommand(), " 12 02");
}

TEST_F(CommandResults, ReadClickedDuringAReadSwitchesToTheNewPage)
{
    form->ReadParameters(0);
    Answer(0x01, 5);
    EXPECT_EQ(OutCommand(), " 12 02");
    form->ReadParameters(2);  // while item 2 of Standard is out
    form->ReceiveTelegram(ChannelResponse(0x01, 0x02, 6));
    EXPECT_EQ(Cell(0, 2)->Edit->text(), "6");
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    EXPECT_EQ(OutCommand(), " 06 01") << "the new page is read from item 1";
    EXPECT_EQ(form->Channel.QueueSize(), 0u) << "no read of the old page is left behind";
}

TEST_F(CommandResults, SetWritesTheItemAndShowsTheConfirmation)
{
    TypeAndSet(2, 2, "100");  // Filling
    EXPECT_EQ(OutCommand(6), " 06 82 00 00 00 64");
    EXPECT_FALSE(Cell(2, 2)->SetButton->isEnabled());
    Cell(2, 2)->Edit->setText("1");  // the module's answer replaces whatever is typed now
    Answer(0x03, 100);
    EXPECT_EQ(Cell(2, 2)->Edit->text(), "100");
    EXPECT_EQ(form->edbxResult->text(), "");

    TypeAndSet(1, 3, "-7");  // Trigger
    EXPECT_EQ(OutCommand(6), " 26 83 FF FF FF F9");
    Answer(0x03, -7);
    EXPECT_EQ(Cell(1, 3)->Edit->text(), "-7");

    TypeAndSet(0, 2, "100");  // Standard writes with its own code
    EXPECT_EQ(OutCommand(6), " 1F 02 00 00 00 64");
    Answer(0x03, 100);
    EXPECT_EQ(form->edbxResult->text(), "00000064");

    TypeAndSet(3, 1, "2000");  // Mass flow, refused
    EXPECT_EQ(OutCommand(6), " 2A 81 00 00 07 D0");
    Answer(0x52, 0);
    EXPECT_EQ(form->edbxResult->text(), "** BAD_FLOW_PARAM_VALUE **");
    EXPECT_EQ(LastLine(form->mMessages), "** BAD_FLOW_PARAM_VALUE **");
}

TEST_F(CommandResults, SetWithTextThatIsNoIntegerQueuesNothing)
{
    TypeAndSet(2, 1, "12x");
    EXPECT_EQ(ErrorBoxText(), "'12x' is not a valid integer value");
    EXPECT_FALSE(form->Channel.Pending());
    EXPECT_TRUE(form->Channel.QueueEmpty());
}

TEST_F(CommandResults, MassFlowAnswersGoWhereTheirSubFunctionSays)
{
    form->QueueCommand(0, {0x29, 0x81, 0x13, 0, 0, 0});
    Answer(0x03, 0x13);
    EXPECT_EQ(form->edbxResult->text(), "13") << "the control word in hex";
    form->QueueCommand(0, {0x29, 0x03});
    Answer(0x01, 0x3FC00000);  // flow 1.5
    EXPECT_EQ(form->edbxResult->text(), "1.500");

    // Trend and total mass go to the page shown, whichever module was asked.
    Choose(form->cbxNumWZMs, 2);
    form->PageControl1->setCurrentIndex(1);
    form->QueueCommand(0, {0x29, 0x04});
    Answer(0x01, 0x42F60000);
    EXPECT_EQ(form->Pages[1]->edbxTrend->text(), "123.000");
    EXPECT_EQ(form->Pages[0]->edbxTrend->text(), "");
    EXPECT_EQ(form->edbxResult->text(), "1.500");
}

// A module that reports one decimal place (DP) shows its weights so.
TEST_F(CommandResults, WeightsTakeTheDecimalPlacesTheModuleReports)
{
    form->QueueCommand(0, {0x03, 0x0B});  // DP's read
    Answer(0x01, 1);
    TByteString unit = TByteString::Filled(8);
    unit += TByteString{0x44, 0x7A, 0x00, 0x00, 0x42, 0xF6, 0xE9, 0x79, 0, 0, 0, 0, 0, 0, 0, 0};
    form->ReceiveTelegram(Response(unit));
    EXPECT_EQ(form->Pages[0]->edbxGross->text(), "1000.0");
    EXPECT_EQ(form->Pages[0]->edbxNet->text(), "123.5");
}
