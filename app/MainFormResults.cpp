// What the main window does with the end of a command: it publishes one
// record of it, CommandEnded, and its own consumers take it from there as
// every other client does: the result edit, the parameter cells or the active
// module page with the module's error codes as texts, the running parameter
// read, the weights' decimal places, the backup and the open dialogs.
#include "MainForm.h"

#include "AppWindows.h"
#include "BackupControl.h"
#include "core/ResultRoute.h"
#include "core/ResultText.h"
#include "WZMdata.h"
#include "module/Dialog1.h"
#include "module/Dialog2.h"
#include "module/Dialog3.h"
#include "module/Dialog4.h"
#include "module/Parameters.h"
#include "module/core/CalibrationKeys.h"

#include <QLineEdit>
#include <QLocale>
#include <QTabWidget>

void TForm1::ConnectResultConsumers()
{
    connect(this, &TForm1::CommandEnded, this, &TForm1::ShowResult);
    connect(this, &TForm1::CommandEnded, this, &TForm1::TakeDecimals);
    connect(this, &TForm1::CommandEnded, backup_.get(), &TBackupControl::TakeResult);
    connect(this, &TForm1::CommandEnded, this, &TForm1::FeedDialogs);
}

void TForm1::ShowResult(const TCommandResult& result)
{
    const bool inRead = Read.IsRunningRead(result.cmd, result.index);
    if (result.givenUp) {
        const QString text = QStringLiteral("** NO RESULT **");
        edbxResult->setText(text);
        AddMessage(text);
        // No answer is no refusal: the item stays editable, marked as not read.
        if (inRead && Parameters) Parameters->MarkItemNotRead(Read.Sheet(), static_cast<int>(Read.Item()));
    } else if (resulttext::IsSuccess(result.stat)) {
        ShowSuccess(result);
    } else if (inRead) {
        // A refused item of a parameter read: greyed, not logged; the read
        // goes on with the next item once the channel is free.
        edbxResult->clear();
        if (Parameters) Parameters->MarkItemUnavailable(Read.Sheet(), static_cast<int>(Read.Item()));
    } else {
        const QString text = QString::fromStdString(resulttext::ErrorText(resulttext::ErrorCode(result.stat)));
        edbxResult->setText(text);
        AddMessage(text);
    }
}

void TForm1::ShowSuccess(const TCommandResult& result)
{
    using resultroute::TPlace;
    const resultroute::TRoute route =
        resultroute::Route(result.cmd, result.index, result.value, QLocale().decimalPoint().toStdString());
    QLineEdit* edit = edbxResult;
    if (route.Place == TPlace::ParameterItem) {
        edbxResult->clear();
        if (Parameters) Parameters->UpdateItem(route.Sheet, result.index, result.value);
        return;
    }
    if (route.Place == TPlace::PageTrend || route.Place == TPlace::PageTotalMass) {
        // The module page shown now, whichever module was asked.
        TWZMdata* page = nullptr;
        for (TWZMdata* p : Pages)
            if (p && p->TabSheet == PageControl1->currentWidget()) page = p;
        edit = !page ? nullptr : route.Place == TPlace::PageTrend ? page->edbxTrend : page->edbxTotalMass;
    }
    if (edit && route.Text) edit->setText(QString::fromStdString(*route.Text));
}

// Weights show the decimal places a module reports for DP, whoever read it.
void TForm1::TakeDecimals(const TCommandResult& result)
{
    const TByteString dp = calkeys::Read(calkeys::DP);
    if (!result.givenUp && result.cmd == dp[0] && result.index == dp[1] && resulttext::IsSuccess(result.stat) &&
        result.value >= 0 && result.value <= 6 && result.unit < PageSlots)
        decimals_[result.unit] = result.value;
}

// The open dialogs show what the module answered: the mass flow dialog its
// state, a value dialog the end of its own command only.
void TForm1::FeedDialogs(const TCommandResult& result)
{
    if (result.cmd == resultroute::MassFlowCommand) {
        if (!result.givenUp && DialogForm3 && DialogForm3->isVisible())
            DialogForm3->UpdateState(result.cmd, result.answeredIndex, result.value);
        return;
    }
    for (TValueDialog* dialog : {static_cast<TValueDialog*>(DialogForm1), static_cast<TValueDialog*>(DialogForm2),
                                 static_cast<TValueDialog*>(DialogForm4)})
        if (dialog && dialog->isVisible()) dialog->TakeAnswer(result);
}
