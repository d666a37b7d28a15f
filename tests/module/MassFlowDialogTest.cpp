// The mass flow dialog: state display, Start/Pause/Stop, and the poll that
// its one-second timer drives (ticked by hand here).
#include "Dialog3.h"
#include "FunctionButton.h"
#include "Hex.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <vector>

namespace {

class MassFlowDialog : public ::testing::Test {
protected:
    MassFlowDialog() : functions(&box)
    {
        box.resize(601, 201);
        dialog.SetOnCommand([this](std::uint8_t module, const TByteString& command) {
            sent.push_back(std::to_string(module) + ": " + HexFromBytes(command));
        });
    }
    void Open(std::uint8_t module) { dialog.Open(module, *functions.Button(74)); }  // LC
    void Tick(int count)
    {
        for (int i = 0; i < count; ++i) dialog.FlowPollTick();
    }
    QColor StateColour() const { return dialog.lbLiwState->palette().color(QPalette::WindowText); }

    QGroupBox box;
    TFunctions functions;
    TDialogForm3 dialog;
    std::vector<std::string> sent;
};

TEST_F(MassFlowDialog, StateAnswersShowTextColourAndDefaultButton)
{
    Open(1);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Mass Flow Control"));
    EXPECT_EQ(dialog.lbLiwState->text(), QStringLiteral("<unknown>"));
    EXPECT_EQ(dialog.lbLiwValue->text(), QStringLiteral("(??h)"));
    const QColor windowText = QApplication::palette(dialog.lbLiwState).color(QPalette::WindowText);

    struct TCase {
        std::int32_t Value;
        const char* Shown;
        const char* State;
        QColor Colour;
        QPushButton* Default;
    };
    const TCase cases[] = {
        {0x1F, "(1Fh)", "Running", QColor(0, 128, 0), dialog.btLiwPause},
        {0x35, "(35h)", "Paused ", QColor(128, 128, 0), dialog.btLiwStart},
        {0x20, "(20h)", "<?\?>", windowText, dialog.btLiwStop},
        {0x105, "(05h)", "Stopped", QColor(0, 0, 255), dialog.btLiwStart},
        {-1, "(FFh)", "Paused ", QColor(128, 128, 0), dialog.btLiwStart},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Shown);
        dialog.UpdateState(0x29, 1, c.Value);
        EXPECT_EQ(dialog.lbLiwValue->text().toStdString(), c.Shown);
        EXPECT_EQ(dialog.lbLiwState->text().toStdString(), c.State);
        EXPECT_EQ(StateColour(), c.Colour);
        EXPECT_TRUE(c.Default->isDefault());
        for (QPushButton* other : {dialog.btLiwStart, dialog.btLiwPause, dialog.btLiwStop}) {
            if (other != c.Default) {
                EXPECT_FALSE(other->isDefault());
            }
        }
    }
    EXPECT_EQ(dialog.FlowState, 3);

    // Other answers leave the display alone; reopening forgets the state.
    dialog.UpdateState(0x29, 4, 0x10);
    dialog.UpdateState(0x12, 1, 0x10);
    EXPECT_EQ(dialog.lbLiwState->text(), QStringLiteral("Paused "));
    Open(1);
    EXPECT_EQ(dialog.lbLiwState->text(), QStringLiteral("<unknown>"));
    EXPECT_EQ(dialog.lbLiwValue->text(), QStringLiteral("(??h)"));
    EXPECT_EQ(StateColour(), windowText);
}

TEST_F(MassFlowDialog, ControlsReadTheStateAgainAndPollEveryFifthTickUntilStop)
{
    EXPECT_FALSE(dialog.FlowTimer->isActive());
    EXPECT_EQ(dialog.FlowTimer->interval(), 1000);
    Open(4);
    dialog.btLiwStart->click();
    EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open to show the new state";
    EXPECT_TRUE(dialog.FlowTimer->isActive());
    ASSERT_EQ(sent, (std::vector<std::string>{"4: 29 81 13 00 00 00", "4: 29 01"}));
    dialog.UpdateState(0x29, 1, 0x1F);
    EXPECT_EQ(dialog.lbLiwState->text(), QStringLiteral("Running"));

    Tick(4);
    EXPECT_EQ(sent.size(), 2u);
    Tick(1);
    EXPECT_EQ(sent, (std::vector<std::string>{"4: 29 81 13 00 00 00", "4: 29 01", "4: 29 04", "4: 29 05"}));
    Tick(5);
    EXPECT_EQ(sent.size(), 6u);

    // Pause keeps the polls going.
    dialog.btLiwPause->click();
    EXPECT_EQ(sent[sent.size() - 2], "4: 29 81 30 00 00 00");
    EXPECT_EQ(sent.back(), "4: 29 01");
    EXPECT_TRUE(dialog.FlowTimer->isActive());
    Tick(5);
    EXPECT_EQ(sent.back(), "4: 29 05");

    dialog.btLiwStop->click();
    EXPECT_EQ(sent[sent.size() - 2], "4: 29 81 00 00 00 00");
    EXPECT_EQ(sent.back(), "4: 29 01");
    EXPECT_FALSE(dialog.FlowTimer->isActive());
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(MassFlowDialog, TickCountSurvivesStopAndPollsGoToTheLastOpenedModule)
{
    Open(1);
    dialog.StartClick();
    Tick(3);
    Open(1);
    dialog.StopClick();
    Open(6);
    dialog.StartClick();
    sent.clear();
    Tick(2);  // 3 + 2 ticks since the last poll
    EXPECT_EQ(sent, (std::vector<std::string>{"6: 29 04", "6: 29 05"}));
}

TEST_F(MassFlowDialog, StopBeforeStartAndNoHandler)
{
    Open(2);
    dialog.StopClick();
    EXPECT_EQ(sent, (std::vector<std::string>{"2: 29 81 00 00 00 00", "2: 29 01"}));
    EXPECT_FALSE(dialog.FlowTimer->isActive());

    TDialogForm3 unwired;
    unwired.Open(2, *functions.Button(74));
    unwired.StartClick();
    EXPECT_TRUE(unwired.isVisible());
    EXPECT_TRUE(unwired.FlowTimer->isActive());
    for (int i = 0; i < 7; ++i) unwired.FlowPollTick();
    EXPECT_EQ(unwired.FlowTicks, 0);  // without a handler ticks are not counted
}

TEST_F(MassFlowDialog, TheRealTimerDrivesThePoll)
{
    dialog.FlowTimer->setInterval(1);
    Open(1);
    dialog.StartClick();
    ASSERT_TRUE(QTest::qWaitFor([this] { return sent.size() >= 4; }, 5000));
    EXPECT_EQ(sent[2], "1: 29 04");
    dialog.StopClick();
}

}  // namespace
