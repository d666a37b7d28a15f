#include "Dialog3.h"

#include "FunctionButton.h"
#include "Int32Text.h"

#include <QApplication>
#include <algorithm>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QTimer>

namespace {

struct TFlowStateLook {
    const char* Text;
    QColor Colour;      // invalid: the system's window-text colour
    int DefaultButton;  // 0 Start, 1 Pause, 2 Stop
};

// By state code (bits 4 and 5 of the state value).
const TFlowStateLook FlowStates[4] = {
    {"Stopped", QColor(0, 0, 255), 0},
    {"Running", QColor(0, 128, 0), 1},
    {"<?\?>", QColor(), 2},
    {"Paused ", QColor(128, 128, 0), 0},
};

void SetTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText,
                     colour.isValid() ? colour : QApplication::palette(label).color(QPalette::WindowText));
    label->setPalette(palette);
}

}  // namespace

TDialogForm3::TDialogForm3(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Mass Flow Control"));
    lbLiwStateText = new QLabel(QStringLiteral("Mass Flow Control State= "), this);
    lbLiwState = new QLabel(QStringLiteral("<unknown>"), this);
    QFont stateFont = lbLiwState->font();
    stateFont.setBold(true);
    lbLiwState->setFont(stateFont);
    lbLiwValue = new QLabel(QStringLiteral("(??h)"), this);
    PlaceStateLabels();
    btLiwStart = new QPushButton(QStringLiteral("Start"), this);
    btLiwStart->setGeometry(16, 48, 75, 25);
    btLiwPause = new QPushButton(QStringLiteral("Pause"), this);
    btLiwPause->setGeometry(96, 48, 75, 25);
    btLiwStop = new QPushButton(QStringLiteral("Stop"), this);
    btLiwStop->setGeometry(176, 48, 75, 25);
    connect(btLiwStart, &QPushButton::clicked, this, &TDialogForm3::StartClick);
    connect(btLiwPause, &QPushButton::clicked, this, &TDialogForm3::PauseClick);
    connect(btLiwStop, &QPushButton::clicked, this, &TDialogForm3::StopClick);
    move(227, 479);

    FlowTimer = new QTimer(this);
    FlowTimer->setInterval(1000);
    connect(FlowTimer, &QTimer::timeout, this, &TDialogForm3::FlowPollTick);
}

// The labels sit at their design places unless the font's texts need more room.
void TDialogForm3::PlaceStateLabels()
{
    const int stateLeft = std::max(144, 16 + lbLiwStateText->sizeHint().width() + 2);
    int stateWidth = lbLiwState->fontMetrics().horizontalAdvance(lbLiwState->text());
    for (const TFlowStateLook& look : FlowStates)
        stateWidth = std::max(stateWidth, lbLiwState->fontMetrics().horizontalAdvance(QString::fromLatin1(look.Text)));
    const int valueLeft = std::max(216, stateLeft + stateWidth + 8);
    const int valueWidth = lbLiwValue->fontMetrics().horizontalAdvance(QStringLiteral("(WWh)"));
    lbLiwStateText->move(16, 16);
    lbLiwState->setGeometry(stateLeft, 16, stateWidth + 4, lbLiwState->sizeHint().height());
    lbLiwValue->setGeometry(valueLeft, 16, valueWidth, lbLiwValue->sizeHint().height());
    resize(std::max(266, valueLeft + valueWidth + 16), 85);
}

TDialogForm3::~TDialogForm3() { FlowTimer->stop(); }

void TDialogForm3::Open(std::uint8_t module, const TFnButton& button)
{
    Module = module;
    ClickCommand = button.ClickCommand;
    ValueCommand = button.ValueCommand;
    show();
    lbLiwState->setText(QStringLiteral("<unknown>"));
    lbLiwValue->setText(QStringLiteral("(??h)"));
    SetTextColour(lbLiwState, QColor());
    raise();
    activateWindow();
}

void TDialogForm3::UpdateState(std::uint8_t code, std::uint8_t index, std::int32_t value)
{
    if (code != 0x29 || index != 1) return;
    const auto bits = static_cast<std::uint32_t>(value);
    lbLiwValue->setText(QStringLiteral("(%1h)").arg(QString::number(bits & 0xFF, 16).toUpper(), 2, QLatin1Char('0')));
    FlowState = static_cast<std::int32_t>((bits & 0x30) >> 4);
    const TFlowStateLook& look = FlowStates[FlowState];
    lbLiwState->setText(QString::fromLatin1(look.Text));
    SetTextColour(lbLiwState, look.Colour);
    QPushButton* const buttons[] = {btLiwStart, btLiwPause, btLiwStop};
    buttons[look.DefaultButton]->setDefault(true);
    buttons[look.DefaultButton]->setFocus();
}

void TDialogForm3::StartClick()
{
    SendControl(StartValue);
    FlowTimer->start();
}

void TDialogForm3::PauseClick() { SendControl(PauseValue); }

void TDialogForm3::StopClick()
{
    FlowTimer->stop();
    SendControl(StopValue);
}

void TDialogForm3::FlowPollTick()
{
    if (!onCommand_) return;
    if (++FlowTicks < PollEveryTicks) return;
    FlowTicks = 0;
    RaiseCommand(TByteString{0x29, 0x04});
    RaiseCommand(TByteString{0x29, 0x05});
}

void TDialogForm3::SendControl(std::int32_t controlValue)
{
    TByteString command = ValueCommand;
    AppendInt32(command, controlValue);
    RaiseCommand(command);
    // The dialog stays open and reads the state again to show the new one.
    RaiseCommand(ClickCommand);
    btLiwStart->setDefault(false);
}

void TDialogForm3::RaiseCommand(const TByteString& command) const
{
    if (onCommand_) onCommand_(Module, command);
}
