// What the main window does with a finished command's result.
#include "MainForm.h"

#include "HexText.h"
#include "module/Parameters.h"

#include <QLineEdit>

void TForm1::ShowResult()
{
    edbxResult->setText(QString::fromStdString(hextext::Value(Channel.ResultValue)));
}

// Inside a parameter read the item that got no answer counts as refused;
// the read goes on with the next item once the channel is free.
void TForm1::MarkReadItemRefused()
{
    if (ReadItem != 0 && Parameters) Parameters->MarkItemUnavailable(ReadSheet, static_cast<int>(ReadItem));
}
