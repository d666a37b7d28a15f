// What the main window does with a finished command's result: values into
// the result edit, the parameter cells or the active module page, and the
// module's error codes as texts.
#include "MainForm.h"

#include "core/ResultRoute.h"
#include "core/ResultText.h"
#include "WZMdata.h"
#include "module/Parameters.h"

#include <QLineEdit>
#include <QLocale>
#include <QTabWidget>

void TForm1::ShowResult()
{
    if (resulttext::IsSuccess(Channel.ResultStat)) {
        ShowSuccess();
    } else if (Read.IsRunningRead(Channel.SentCmd, Channel.SentIndex)) {
        // A refused item of a parameter read: greyed, not logged.
        edbxResult->clear();
        MarkReadItemRefused();
    } else {
        const QString text = QString::fromStdString(resulttext::ErrorText(resulttext::ErrorCode(Channel.ResultStat)));
        edbxResult->setText(text);
        AddMessage(text);
    }
}

void TForm1::ShowSuccess()
{
    using resultroute::TPlace;
    const resultroute::TRoute route = resultroute::Route(Channel.SentCmd, Channel.SentIndex, Channel.ResultValue,
                                                         QLocale().decimalPoint().toStdString());
    QLineEdit* edit = edbxResult;
    if (route.Place == TPlace::ParameterItem) {
        edbxResult->clear();
        if (Parameters) Parameters->UpdateItem(route.Sheet, Channel.SentIndex, Channel.ResultValue);
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

// Inside a parameter read an item that was refused is greyed; the read goes
// on with the next item once the channel is free.
void TForm1::MarkReadItemRefused()
{
    if (Parameters && Read.IsRunningRead(Channel.SentCmd, Channel.SentIndex))
        Parameters->MarkItemUnavailable(Read.Sheet(), static_cast<int>(Read.Item()));
}
