// What the main window does with a finished command's result: values into
// the result edit, the parameter cells or the active module page, and the
// module's error codes as texts.
#include "MainForm.h"

#include "CyclicData.h"
#include "HexText.h"
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

constexpr std::array<const char*, 19> ErrorTexts{
    nullptr,
    "** NOT_IMPLEMENTED **",
    "** NOT_READY **",
    "** ERR_BAUD **",
    "** CAL_NOT_OPEN **",
    "** BAD_CAL_ID **",
    "** BAD_CAL_VALUE **",
    "** TIMEOUT **",
    "** NOT_STABLE **",
    "** BAD_FILL_PARAM_ID **",
    "** BAD_FILL_PARAM_VALUE **",
    "** BAD_GEN_VALUE_ID **",
    "** BAD_GEN_PARAM_VALUE **",
    "** BAD_TRIG_PARAM_ID **",
    "** BAD_TRIG_PARAM_VALUE **",
    "** BAD_TARE_RANGE **",
    "** BAD_FILL_SLOPE **",
    "** BAD_FLOW_VALUE_ID **",
    "** BAD_FLOW_PARAM_VALUE **",
};

QString ModuleErrorText(int code)
{
    if (code > 0 && code < static_cast<int>(ErrorTexts.size())) return QString::fromLatin1(ErrorTexts[code]);
    return QStringLiteral("** ?ERROR? (%1) **").arg(code);
}

bool Succeeded(std::uint8_t stat) { return stat == 0x01 || stat == 0x03; }

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
    if (Succeeded(Channel.ResultStat)) {
        ShowSuccess();
    } else if (ReadItem != 0) {
        // A refused item of a parameter read: greyed, not logged.
        edbxResult->clear();
        MarkReadItemRefused();
    } else {
        const QString text = ModuleErrorText(Channel.ResultStat & 0x3F);
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
        edbxResult->setText(QStringLiteral("%1").arg(static_cast<std::uint32_t>(value), 2, 16, QLatin1Char('0')).toUpper());
    else if (sub == 4)
        ShowSingle(page ? page->edbxTrend : nullptr, value);
    else if (sub == 5)
        ShowSingle(page ? page->edbxTotalMass : nullptr, value);
    else
        ShowSingle(edbxResult, value);
}

// Inside a parameter read an item that was refused, or got no answer at all,
// is greyed; the read goes on with the next item once the channel is free.
void TForm1::MarkReadItemRefused()
{
    if (ReadItem != 0 && Parameters) Parameters->MarkItemUnavailable(ReadSheet, static_cast<int>(ReadItem));
}
