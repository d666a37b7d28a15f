// The window's side of the cyclic data: dumps, counters, module pages and the
// command channel, fed with Data_Exchange responses.
#include "MainFormTestSupport.h"

#include "module/FillCell.h"
#include "module/Parameters.h"

using namespace apptest;

TEST_F(WindowTest, QueuedCommandGoesIntoTheOutputBytes)
{
    form->QueueCommand(0, {0x12, 0x03});
    EXPECT_EQ(OutHex(), " 00 00 12 03 00 00 00 03 00");
    EXPECT_EQ(form->edbxCmd_in->text(), "12");
    EXPECT_EQ(form->edbxIndex_in->text(), "03");
    EXPECT_EQ(form->edbxValue_in->text(), "00000003");
    EXPECT_EQ(LastLine(form->mMessages), "Cmd(00: 00 00 12 03 00 00 00 03 00 )");
    EXPECT_TRUE(form->Channel.Pending());

    // One command in flight: the next one waits for the result and an empty channel.
    form->QueueCommand(0, {0x06, 0x82, 0x64, 0x00, 0x00, 0x00});
    EXPECT_EQ(Out()[2], 0x12);
    int answered = 0;
    QObject::connect(form.get(), &TForm1::CommandEnded,
                     [&](const TCommandResult& r) { answered += r.givenUp ? 0 : 1; });
    form->ReceiveTelegram(ChannelResponse(0x01, 0x03, 0x2A));
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(form->edbxStat_out->text(), "01");
    EXPECT_EQ(form->edbxIndex_out->text(), "03");
    EXPECT_EQ(form->edbxValue_out->text(), "0000002A");
    EXPECT_EQ(form->edbxResult->text(), "");
    EXPECT_EQ(form->Parameters->Sheet(0)->Item(3)->Edit->text(), "42") << "the read item shows its value";
    EXPECT_EQ(Out()[2], 0) << "the result is taken back";
    form->ReceiveTelegram(ChannelResponse(0x01, 0x03, 0x2A));  // the module still holds it
    EXPECT_EQ(Out()[2], 0);
    EXPECT_EQ(answered, 1) << "a result is shown once";

    form->ReceiveTelegram(ChannelResponse(0x80, 0, 0));  // 0x80 frees like 0x00
    EXPECT_EQ(HexDump(Out().Mid(2, 6)), " 06 82 00 00 00 64");
    EXPECT_EQ(form->Channel.SentValue, 100);
    EXPECT_EQ(form->edbxValue_in->text(), "00000064");
    EXPECT_EQ(LastLine(form->mMessages), "Cmd(00: 00 00 06 82 00 00 00 64 00 )");
}

TEST_F(WindowTest, DumpsStartWithASpaceAndCountersStartAtOne)
{
    const TByteString reply = ChannelResponse(0, 0, 0);
    form->ReceiveTelegram(reply);
    EXPECT_EQ(form->edbxShowData->text().toStdString(), HexDump(reply));
    EXPECT_TRUE(form->edbxShowData->text().startsWith(" 68 1B 1B 68"));
    EXPECT_EQ(form->edbxShowCount->text(), "1");
    form->ReceiveTelegram(TByteString{0xE5});
    EXPECT_EQ(form->edbxShowData->text(), " E5");
    EXPECT_EQ(form->edbxShowCount->text(), "2");

    form->TelegramSent({0x68, 0x0C, 0x0C, 0x68, 0x03});
    EXPECT_EQ(form->edbxSentData->text(), " 68 0C 0C 68 03");
    EXPECT_EQ(form->edbxSentCount->text(), "1");
}

TEST_F(WindowTest, ResultWithoutPendingCommandIsShownButNotInterpreted)
{
    form->ReceiveTelegram(ChannelResponse(0x03, 0x09, -1));
    EXPECT_EQ(form->edbxStat_out->text(), "03");
    EXPECT_EQ(form->edbxIndex_out->text(), "09");
    EXPECT_EQ(form->edbxValue_out->text(), "FFFFFFFF");
    EXPECT_EQ(form->edbxResult->text(), "");
}

TEST_F(WindowTest, ShortTelegramChangesNothingButDumpAndCounter)
{
    form->QueueCommand(0, {0x10});
    // 16 bytes, classified as data: too short for the command channel.
    const TByteString shortReply = ChannelResponse(0x01, 0, 5).Mid(0, 16);
    form->ReceiveTelegram(shortReply);
    EXPECT_EQ(form->edbxShowCount->text(), "1");
    EXPECT_EQ(form->edbxShowData->text().toStdString(), HexDump(shortReply));
    EXPECT_EQ(form->edbxStat_out->text(), "");
    EXPECT_TRUE(form->Channel.Pending());
    EXPECT_EQ(Out()[2], 0x10);
    EXPECT_EQ(form->Pages[0]->edbxGross->text(), "");
}

TEST_F(WindowTest, PagesShowTheirModuleBlocks)
{
    form->ReceiveTelegram(Response(TByteString::Filled(24)));
    const TWZMdata* page = form->Pages[0];
    EXPECT_EQ(page->edbxGross->text(), "0.000");
    EXPECT_EQ(page->edbxNet->text(), "0.000");
    EXPECT_EQ(page->edbxQualifier->text(), "0000");
    EXPECT_EQ(page->edbxLimitStatus->text(), "00");
    EXPECT_EQ(page->edbxStatusBytes->text(), "00 00");
    EXPECT_EQ(page->edbxManufacturerBytes->text(), "00 00 00");
    EXPECT_EQ(page->edbxTrend->text(), "") << "trend and total mass come from commands only";
    EXPECT_FALSE(form->Channel.Pending());

    TByteString unit = TByteString::Filled(8);
    unit += TByteString{0x44, 0x7A, 0x00, 0x00, 0x42, 0xF6, 0xE9, 0x79, 0x12, 0x34, 0x07, 0x01, 0x02, 0xA1, 0xB2, 0xC3};
    form->ReceiveTelegram(Response(unit));
    EXPECT_EQ(page->edbxGross->text(), "1000.000");
    EXPECT_EQ(page->edbxNet->text(), "123.456");
    EXPECT_EQ(page->edbxQualifier->text(), "1234");
    EXPECT_EQ(page->edbxLimitStatus->text(), "07");
    EXPECT_EQ(page->edbxStatusBytes->text(), "02 01");
    EXPECT_EQ(page->edbxManufacturerBytes->text(), "A1 B2 C3");
}

TEST_F(WindowTest, IncompleteModuleBlockLeavesItsPageAlone)
{
    Choose(form->cbxNumWZMs, 2);
    TByteString unit = TByteString::Filled(8 + 16);
    unit += TByteString{0x44, 0x7A, 0x00, 0x00};  // module 1 cut short
    form->ReceiveTelegram(Response(unit));
    EXPECT_EQ(form->Pages[0]->edbxGross->text(), "0.000");
    EXPECT_EQ(form->Pages[1]->edbxGross->text(), "");
    EXPECT_EQ(form->Pages[1]->edbxQualifier->text(), "");
}

TEST_F(WindowTest, RepliesOtherThanDataTouchNoChannelAndNoPage)
{
    form->QueueCommand(0, {0x10});
    TByteString diag = ChannelResponse(0x01, 0, 7);
    diag[4] = 0x80;  // DA with the SAP bit: not a Data_Exchange response
    form->ReceiveTelegram(diag);
    EXPECT_TRUE(form->Channel.Pending());
    EXPECT_EQ(form->Pages[0]->edbxGross->text(), "");
}

TEST_F(WindowTest, CommandWithoutResultIsGivenUpOnlyAfterItWentOutInDataExchange)
{
    form->SetResultTimeout(50);
    form->QueueCommand(0, {0x10});
    form->QueueCommand(0, {0x23});
    EXPECT_EQ(form->mMessages->toPlainText().count("Not connected: the command goes out after Start"), 1);
    form->TelegramSent({0x68});
    Pump(150);
    EXPECT_TRUE(form->Channel.Pending()) << "no give-up before data exchange";
    form->StateChanged(MasterState{stDataExchange, 0, 0, 0});
    Pump(150);
    EXPECT_TRUE(form->Channel.Pending()) << "the time counts from the request that carries it";
    form->TelegramSent({0x68});
    ASSERT_TRUE(WaitFor([&] { return form->edbxResult->text() == "** NO RESULT **"; }, 2000));
    EXPECT_EQ(LastLine(form->mMessages), "** NO RESULT **");
    EXPECT_FALSE(form->Channel.Pending());
    EXPECT_EQ(Out()[2], 0);
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    EXPECT_EQ(Out()[2], 0x23) << "the next command goes out";

    // A command that gets its result is never given up.
    form->ReceiveTelegram(ChannelResponse(0x01, 0, 9));
    EXPECT_EQ(form->edbxResult->text(), "00000009");
    Pump(150);
    EXPECT_EQ(form->edbxResult->text(), "00000009");
}

TEST_F(WindowTest, CommandPendingAcrossALostLinkIsGivenUpWhenItComesBack)
{
    form->StateChanged(MasterState{stDataExchange, 0, 0, 0});
    form->QueueCommand(0, {0x10});
    form->StateChanged(MasterState{stStart, 0, 0, 0});
    form->StateChanged(MasterState{stConnecting, 0, 0, 0});
    EXPECT_TRUE(form->Channel.Pending());
    form->StateChanged(MasterState{stDataExchange, 0, 0, 0});
    EXPECT_FALSE(form->Channel.Pending());
    EXPECT_EQ(form->edbxResult->text(), "** NO RESULT **");
    EXPECT_EQ(Out()[2], 0);
}

TEST_F(WindowTest, ParameterReadItemWithoutAnswerStaysEditable)
{
    form->SetResultTimeout(50);
    form->ReadParameters(0);  // before Start
    EXPECT_EQ(HexDump(Out().Mid(2, 2)), " 12 01");
    form->StateChanged(MasterState{stDataExchange, 0, 0, 0});
    form->TelegramSent({0x68});
    ASSERT_TRUE(WaitFor([&] { return !form->Channel.Pending(); }, 2000));
    const TFillCell* cell = form->Parameters->Sheet(0)->Item(1);
    EXPECT_TRUE(cell->Edit->isEnabled()) << "no answer is no refusal";
    EXPECT_EQ(cell->Edit->placeholderText(), "not read");
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    EXPECT_EQ(HexDump(Out().Mid(2, 2)), " 12 02") << "the read goes on";
    EXPECT_EQ(form->Read.Item(), 2u);
}

namespace {

// Places `command` and answers it with Stat `stat` and `value`.
void Answer(TForm1& form, const TByteString& command, std::uint8_t stat, std::int32_t value)
{
    form.ReceiveTelegram(ChannelResponse(0x00, 0, 0));  // the channel is free
    form.QueueCommand(0, command);
    ASSERT_TRUE(form.Channel.Pending());
    form.ReceiveTelegram(ChannelResponse(stat, command.size() > 1 ? command[1] : 0, value));
}

}  // namespace

TEST_F(WindowTest, ModuleErrorsAreShownAndLogged)
{
    Answer(*form, {0x20}, 0x41, 0);
    EXPECT_EQ(form->edbxResult->text(), "** NOT_IMPLEMENTED **");
    EXPECT_EQ(LastLine(form->mMessages), "** NOT_IMPLEMENTED **");
    Answer(*form, {0x20}, 0x54, 0);
    EXPECT_EQ(form->edbxResult->text(), "** ?ERROR? (20) **");
    Answer(*form, {0x20}, 0x40, 0);
    EXPECT_EQ(form->edbxResult->text(), "** ?ERROR? (0) **");
    Answer(*form, {0x1E}, 0x48, 0);
    EXPECT_EQ(LastLine(form->mMessages), "** NOT_STABLE **");
}

TEST_F(WindowTest, SuccessfulResultsAreShownByTheirCommand)
{
    Answer(*form, {0x10}, 0x03, -1);
    EXPECT_EQ(form->edbxResult->text(), "-1");
    Answer(*form, {0x0C}, 0x01, 0x3F800000);
    EXPECT_EQ(form->edbxResult->text(), "1.000");
    Answer(*form, {0x1F, 0x02, 0x64, 0, 0, 0}, 0x03, 100);
    EXPECT_EQ(form->edbxResult->text(), "00000064") << "a Standard write shows its value in hex";
    Answer(*form, {0x29, 0x01}, 0x01, 0x1F);
    EXPECT_EQ(form->edbxResult->text(), "1F");
    const QString before = form->edbxResult->text();
    Answer(*form, {0x29, 0x04}, 0x01, 0x42F60000);  // trend 123.0
    EXPECT_EQ(form->Pages[0]->edbxTrend->text(), "123.000");
    EXPECT_EQ(form->edbxResult->text(), before);
    Answer(*form, {0x29, 0x05}, 0x01, 0x447A0000);
    EXPECT_EQ(form->Pages[0]->edbxTotalMass->text(), "1000.000");
    Answer(*form, {0x06, 0x82, 0x64, 0, 0, 0}, 0x03, 100);
    EXPECT_EQ(form->Parameters->Sheet(2)->Item(2)->Edit->text(), "100")
        << "a confirmed Filling write shows in its cell";
    EXPECT_FALSE(form->mMessages->toPlainText().contains("**")) << "successes are not logged";
}

TEST_F(WindowTest, ParameterReadGreysRefusedItemsWithoutLogging)
{
    const TParamSheet* sheet = form->Parameters->Sheet(0);
    form->ReadParameters(0);
    for (int item = 1; item <= sheet->ItemCount; ++item) {
        ASSERT_EQ(HexDump(Out().Mid(2, 2)), HexDump(TByteString{0x12, static_cast<std::uint8_t>(item)}));
        form->ReceiveTelegram(ChannelResponse(item == 2 ? 0x4C : 0x01, static_cast<std::uint8_t>(item), item * 10));
        form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    }
    EXPECT_EQ(form->Read.Item(), 0u) << "the sequence ended";
    EXPECT_FALSE(form->Channel.Pending());
    EXPECT_EQ(sheet->Item(1)->Edit->text(), "10");
    EXPECT_FALSE(sheet->Item(2)->Edit->isEnabled());
    EXPECT_EQ(sheet->Item(3)->Edit->text(), "30");
    EXPECT_FALSE(form->mMessages->toPlainText().contains("BAD_GEN_PARAM_VALUE"));
}

TEST_F(WindowTest, SetWritesTheEditedValue)
{
    TFillCell* filling = form->Parameters->Sheet(2)->Item(2);
    filling->Edit->setText("100");
    form->WriteParameter(filling);
    EXPECT_EQ(HexDump(Out().Mid(2, 6)), " 06 82 00 00 00 64");
    form->ReceiveTelegram(ChannelResponse(0x03, 0x82, 100));
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));

    TFillCell* standard = form->Parameters->Sheet(0)->Item(2);
    standard->Edit->setText("100");
    form->WriteParameter(standard);
    EXPECT_EQ(LastLine(form->mMessages), "Cmd(00: 00 00 1F 02 00 00 00 64 00 )");

    standard->Edit->setText("1e3");
    EXPECT_THROW(form->WriteParameter(standard), std::exception);
    EXPECT_EQ(form->Channel.QueueSize(), 0u) << "nothing is queued";
}

// A read clicked right after a result or a give-up (the channel not yet seen
// empty) starts with item 1; no item waits behind the next one.
TEST_F(WindowTest, ParameterReadStartsAtItemOneWhateverTheChannelState)
{
    for (const bool giveUp : {false, true}) {
        SCOPED_TRACE(giveUp ? "after a give-up" : "after a result");
        form.reset();
        form = std::make_unique<TForm1>();
        form->QueueCommand(0, {0x10});
        if (giveUp)
            form->GiveUpCommand();
        else
            form->ReceiveTelegram(ChannelResponse(0x01, 0, 5));
        form->ReadParameters(0);
        form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
        EXPECT_EQ(HexDump(Out().Mid(2, 2)), " 12 01");
        form->ReceiveTelegram(ChannelResponse(0x01, 0x01, 7));
        form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
        EXPECT_EQ(HexDump(Out().Mid(2, 2)), " 12 02");
        EXPECT_TRUE(form->Channel.QueueEmpty()) << "no item stranded in the queue";
    }
}

TEST_F(WindowTest, EachCommandCarriesItsUnitIntoByteZero)
{
    Choose(form->cbxNumWZMs, 3);
    form->QueueCommand(2, {0x10});
    form->QueueCommand(0, {0x23});
    EXPECT_EQ(Out()[0], 2);
    Choose(form->cbxWZMaddr, 1);
    Choose(form->cbxNumWZMs, 4);
    EXPECT_EQ(HexDump(Out().Mid(0, 3)), " 02 00 10") << "neither the selection nor the count moves a placed command";
    form->ReceiveTelegram(ChannelResponse(0x01, 0, 5));
    form->ReceiveTelegram(ChannelResponse(0x00, 0, 0));
    EXPECT_EQ(HexDump(Out().Mid(0, 3)), " 00 00 23");
}

TEST_F(WindowTest, ValuesAreGreyedUntilTheirModulesNextBlock)
{
    Choose(form->cbxNumWZMs, 2);
    const TWZMdata* first = form->Pages[0];
    const TWZMdata* second = form->Pages[1];
    EXPECT_FALSE(first->edbxGross->isEnabled()) << "not connected yet";
    form->StateChanged(MasterState{stDataExchange, 0, 0, 0});
    form->ReceiveTelegram(Response(TByteString::Filled(8 + 32)));
    EXPECT_TRUE(first->edbxGross->isEnabled() && second->edbxNet->isEnabled());
    form->ReceiveTelegram(Response(TByteString::Filled(8 + 16)));  // module 1's block stops
    EXPECT_TRUE(first->edbxGross->isEnabled());
    EXPECT_FALSE(second->edbxNet->isEnabled());
    form->StateChanged(MasterState{stConnecting, 0, 0, 0});  // link lost
    EXPECT_FALSE(first->edbxGross->isEnabled());
    EXPECT_EQ(first->edbxGross->text(), "0.000") << "the last value is kept";
}
