// What the main window does with a finished command's result: values into
// the result edit, the parameter cells or the active module page, and the
// module's error codes as texts.
#include "MainForm.h"

#include "CyclicData.h"
#include "HexText.h"
#include "ResultText.h"
#include "SheetCommands.h"
#include "WZMdata.h"
#include "WeightFormat.h"
#include "module/Parameters.h"

#include <QLineEdit>
#include <QLocale>
#include <QTabWidget>
#include <array>

namespace {

// Parameter pages by position, as the command codes that read them name them.
constexpr int StandardSheet = 0;
constexpr int TriggerSheet = 1;
constexpr int FillingSheet = 2;
constexpr int MassFlowSheet = 3;

// The value's four bytes as an IEEE 754 single in the weight format. A
// value that cannot be shown leaves `edit` as it is.
void ShowSingle(QLineEdit* edit, std::int32_t value)
{
    if (!edit) return;
    try {
        const std::string text = FormatWeight(cyclic::SingleFromBits(value), QLocale().decimalPoint().toStdString());
        edit->setText(QString::fromStdString(text));
    } catch (const std::exception&) {
    }
}

}  // namespace

void TForm1::ShowResult()
{
    if (resulttext::IsSuccess(Channel.ResultStat)) {
        ShowSuccess();
    } else if (ReadItem != 0 && SentCommandIsTheRunningRead()) {
        // A refused item of a parameter read: greyed, not logged.
        edbxResult->clear();
        MarkReadItemRefused();
    } else {
        const QString text =
            QString::fromStdString(resulttext::ErrorText(resulttext::ErrorCode(Channel.ResultStat)));
        edbxResult->setText(text);
        AddMessage(text);
    }
}

void TForm1::ShowSuccess()
{
    const std::int32_t value = Channel.ResultValue;
    const auto showOnSheet = [&](int sheet) {
        edbxResult->clear();
        if (Parameters) Parameters->UpdateItem(sheet, Channel.SentIndex, value);
    };
    switch (Channel.SentCmd) {
    case 0x06: showOnSheet(FillingSheet); break;
    case 0x12: showOnSheet(StandardSheet); break;
    case 0x26: showOnSheet(TriggerSheet); break;
    case 0x2A: showOnSheet(MassFlowSheet); break;
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F:
    case 0x11: ShowSingle(edbxResult, value); break;
    case 0x10: edbxResult->setText(QString::number(value)); break;
    case 0x29: ShowMassFlowResult(); break;
    default: edbxResult->setText(QString::fromStdString(hextext::Value(value))); break;
    }
}

// Mass flow answers by sub-function: state and controls in hex, trend value
// and total mass onto the module page shown now, other values as weights.
void TForm1::ShowMassFlowResult()
{
    const std::int32_t value = Channel.ResultValue;
    const int sub = Channel.SentIndex & 0x7F;
    TWZMdata* page = nullptr;
    for (TWZMdata* p : Pages)
        if (p && p->TabSheet == PageControl1->currentWidget()) page = p;
    if (sub <= 2)
        edbxResult->setText(QString::fromStdString(resulttext::Hex(value, 2)));
    else if (sub == 4)
        ShowSingle(page ? page->edbxTrend : nullptr, value);
    else if (sub == 5)
        ShowSingle(page ? page->edbxTotalMass : nullptr, value);
    else
        ShowSingle(edbxResult, value);
}

// The command in flight is the read of the running parameter sequence, not
// a command that was already out when Read was clicked.
bool TForm1::SentCommandIsTheRunningRead() const
{
    const std::uint8_t code = sheetcmd::ReadCode(ReadSheet);
    return code != 0 && Channel.SentCmd == code && Channel.SentIndex == static_cast<std::uint8_t>(ReadItem);
}

// Inside a parameter read an item that was refused, or got no answer at all,
// is greyed; the read goes on with the next item once the channel is free.
void TForm1::MarkReadItemRefused()
{
    if (ReadItem != 0 && Parameters && SentCommandIsTheRunningRead())
        Parameters->MarkItemUnavailable(ReadSheet, static_cast<int>(ReadItem));
}
