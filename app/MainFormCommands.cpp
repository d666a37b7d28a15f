// Where commands come from: the function keys, their dialogs and the
// parameter pages' Read and Set.
#include "MainForm.h"

#include "AppWindows.h"
#include "DialogPlacement.h"
#include "core/SheetCommands.h"
#include "dp/Profi_dp.h"
#include "module/Dialog1.h"
#include "module/Dialog2.h"
#include "module/Dialog3.h"
#include "module/Dialog4.h"
#include "module/FunctionButton.h"
#include "module/core/Int32Text.h"
#include "module/Parameters.h"
#include "serial/VeltExcept.h"

#include <QComboBox>
#include <algorithm>
#include <QMessageBox>

namespace {

void ShowUnassignedKey(int tag)
{
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Function Key [%1]").arg(tag),
                                QStringLiteral("Unassigned Key"), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

}  // namespace

std::uint8_t TForm1::SelectedModule() const
{
    return static_cast<std::uint8_t>(std::max(0, cbxWZMaddr->currentIndex()));
}

void TForm1::FunctionClick(TFnButton* button)
{
    if (!button) return;
    const auto queue = [this](std::uint8_t module, const TByteString& command) { QueueCommand(module, command); };
    const std::uint8_t module = SelectedModule();
    switch (button->Kind) {
    case fkNone: ShowUnassignedKey(button->Tag); break;
    case fkSend: QueueCommand(module, button->ClickCommand); break;
    case fkValue:
        if (!DialogForm1) return;
        DialogForm1->SetOnCommand(queue);
        DialogForm1->Open(button->DialogCaption, button->Hint());
        CentreOnWindow(*DialogForm1, *this);
        DialogForm1->SetTarget(module, button->ValueCommand);
        DialogForm1->AwaitAnswer(module, button->ClickCommand);
        QueueCommand(module, button->ClickCommand);
        break;
    case fkSetpoint:
        if (!DialogForm2) return;
        DialogForm2->SetOnCommand(queue);
        DialogForm2->Open(module, *button);
        CentreOnWindow(*DialogForm2, *this);
        break;
    case fkMassFlow:
        if (!DialogForm3) return;
        DialogForm3->SetOnCommand(queue);
        DialogForm3->Open(module, *button);
        CentreOnWindow(*DialogForm3, *this);
        QueueCommand(module, button->ClickCommand);
        break;
    case fkLinearization:
        if (!DialogForm4) return;
        DialogForm4->SetOnCommand(queue);
        DialogForm4->Open(module, *button);
        CentreOnWindow(*DialogForm4, *this);
        break;
    default: break;
    }
}

void TForm1::ReadParameters(int sheet)
{
    const TParamSheet* paramSheet = Parameters ? Parameters->Sheet(sheet) : nullptr;
    if (paramSheet) {
        for (int item = 1; item <= paramSheet->ItemCount; ++item) {
            TFillCell* cell = paramSheet->Item(item);
            if (!cell) continue;
            if (cell->Edit) cell->Edit->clear();
            if (cell->SetButton) cell->SetButton->setEnabled(false);
        }
    }
    ShowPlacement(
        Read.Start(sheet, paramSheet ? paramSheet->ItemCount : 0, SelectedModule(), Channel, Master->OutputData));
}

void TForm1::WriteParameter(TFillCell* cell)
{
    if (!cell || !cell->Edit) return;
    const std::int32_t value = StrToInt(cell->Edit->text().toStdString());
    TByteString command = cell->Command;
    if (command.size() >= 2 && sheetcmd::WritesWithIndexBit(command[0])) command[1] |= sheetcmd::WriteBit;
    AppendInt32(command, value);
    QueueCommand(SelectedModule(), command);
}
