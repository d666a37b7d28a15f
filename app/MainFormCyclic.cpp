// The main window's side of the cyclic data: the dumps and counters, the
// module pages, and the command channel with its queue and handshake.
#include "MainForm.h"

#include "core/HexText.h"
#include "ViewControl.h"
#include "WZMdata.h"
#include "core/WeightFormat.h"
#include "dp/Profi_dp.h"

#include <QLineEdit>
#include <QLocale>
#include <QTimer>

namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

// Module values mostly repeat from one telegram to the next; an edit is laid
// out again on every setText, so an unchanged text is left alone.
void ShowValue(QLineEdit* edit, const std::string& text)
{
    const QString value = Text(text);
    if (edit->text() != value) edit->setText(value);
}

// A telegram dump, shown from its first byte on.
void ShowDump(QLineEdit* edit, const TByteString& telegram)
{
    edit->setText(Text(HexDump(telegram)));
    edit->setCursorPosition(0);
}

}  // namespace

void TForm1::ReceiveTelegram(const TByteString& telegram)
{
    ShowDump(edbxShowData, telegram);
    ++ShownCount;
    edbxShowCount->setText(QString::number(ShownCount));
    if (Master->ClassifyReply(telegram) != rcData) return;
    if (telegram.size() < cyclic::ChannelTelegramLength) return;

    for (int k = 0; k < Master->ModuleCount(); ++k) {
        if (k == 0) TakeCommandChannel(telegram);
        if (cyclic::HasModuleBlock(telegram, k)) {
            ShowModuleBlock(telegram, k);
        } else if (k < PageSlots && Pages[static_cast<std::size_t>(k)]) {
            // The module's block stopped coming: its last values are stale.
            Pages[static_cast<std::size_t>(k)]->SetLive(false);
            view_->ShowStale(k);
        }
    }
}

void TForm1::ShowPagesStale()
{
    for (TWZMdata* page : Pages)
        if (page) page->SetLive(false);
    view_->ShowAllStale();
}

void TForm1::ShowModuleBlock(const TByteString& telegram, int k)
{
    const cyclic::TModuleValues v = cyclic::DecodeModuleBlock(telegram, k);
    view_->RecordWeights(k, v);
    emit ModuleRead(k, v.Gross);
    TWZMdata* page = k < PageSlots ? Pages[static_cast<std::size_t>(k)] : nullptr;
    if (!page) return;
    const std::string separator = QLocale().decimalPoint().toStdString();
    const int decimals = decimals_[static_cast<std::size_t>(k)];
    ShowValue(page->edbxGross, FormatWeight(v.Gross, separator, decimals));
    ShowValue(page->edbxNet, FormatWeight(v.Net, separator, decimals));
    ShowValue(page->edbxQualifier, v.Qualifier);
    ShowValue(page->edbxLimitStatus, v.LimitStatus);
    ShowValue(page->edbxStatusBytes, v.StatusBytes);
    ShowValue(page->edbxManufacturerBytes, v.ManufacturerBytes);
    // Only data exchange makes values live; a stopped link stays grey.
    page->SetLive(inDataExchange_);
    view_->ShowValues(k,
                      {page->edbxGross->text(), page->edbxNet->text(), page->edbxQualifier->text(),
                       page->edbxLimitStatus->text(), page->edbxStatusBytes->text()},
                      inDataExchange_);
}

void TForm1::TakeCommandChannel(const TByteString& telegram)
{
    const auto reply = cyclic::ReadChannel(telegram);
    if (!reply) return;
    const TCommandChannel::TReplyOutcome outcome = Channel.TakeReply(*reply, Master->OutputData);
    if (outcome.resultPresent) {
        edbxStat_out->setText(Text(hextext::Byte(Channel.ResultStat)));
        edbxIndex_out->setText(Text(hextext::Byte(Channel.ResultIndex)));
        edbxValue_out->setText(Text(hextext::Value(Channel.ResultValue)));
        // A result the module still holds, or one after the give-up, ends
        // no command.
        if (outcome.resultForPending) EndCommand(false);
    } else if (outcome.channelFree) {
        if (Read.Running()) {
            ShowPlacement(Read.Next(SelectedModule(), Channel, Master->OutputData));
        } else if (!Channel.QueueEmpty()) {
            SendNextCommand();
        }
    }
}

void TForm1::EndCommand(bool givenUp)
{
    resultTimer_->stop();
    resultWait_.Stop();
    emit CommandEnded(ResultOf(Channel, givenUp));
}

void TForm1::TelegramSent(const TByteString& telegram)
{
    ShowDump(edbxSentData, telegram);
    ++SentCount;
    edbxSentCount->setText(QString::number(SentCount));
    // The wait for a result counts from the first request in data exchange
    // that carries the placed command.
    if (resultWait_.Note(inDataExchange_, Channel.Pending(), TResultWait::TClock::now())) resultTimer_->start();
}

void TForm1::QueueCommand(std::uint8_t unit, const TByteString& command)
{
    if (!inDataExchange_ && !notConnectedSaid_) {
        AddMessage(QStringLiteral("Not connected: the command goes out after Start"));
        notConnectedSaid_ = true;
    }
    if (Channel.QueueCommand(unit, command)) SendNextCommand();
}

void TForm1::SendNextCommand() { ShowPlacement(Channel.SendNextCommand(Master->OutputData)); }

void TForm1::ShowPlacement(const std::optional<TCommandChannel::TPlacement>& placed)
{
    if (!placed) return;
    edbxCmd_in->setText(Text(hextext::Byte(Channel.SentCmd)));
    edbxIndex_in->setText(Text(hextext::Byte(Channel.SentIndex)));
    edbxValue_in->setText(Text(hextext::Value(Channel.SentValue)));
    AddMessage(Text(placed->line));
}

void TForm1::GiveUpCommand()
{
    if (Channel.GiveUp(Master->OutputData)) {
        EndCommand(true);
    } else {
        resultTimer_->stop();
        resultWait_.Stop();
    }
}
