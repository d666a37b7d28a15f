// The function-key panel against the module's command table: every key's
// caption, kind, enabled state, command bytes, dialog caption and hint, and
// the twin captions, disabled keys and grid that users rely on.
#include "module/FunctionButton.h"
#include "module/core/FunctionTable.h"
#include "tests/support/Hex.h"

#include <QGroupBox>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <vector>

namespace {

class FunctionPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        box = std::make_unique<QGroupBox>(QStringLiteral("WZM Functions"));
        box->resize(601, 201);
        functions = new TFunctions(box.get());
    }
    std::unique_ptr<QGroupBox> box;
    TFunctions* functions = nullptr;
};

// Each key shows its entry of the command table, and the table itself holds
// together: 63 keys at distinct positions, a dialog exactly for the kinds that
// open one, captioned after the key.
TEST_F(FunctionPanel, EveryKeyShowsItsCommandTableEntry)
{
    std::map<int, const TFnEntry*> byPosition;
    for (const TFnEntry& entry : FunctionTable()) byPosition[entry.Position] = &entry;
    ASSERT_EQ(byPosition.size(), 63u);
    ASSERT_EQ(FunctionTable().size(), 63u);

    for (int position = 0; position < TFunctions::ButtonCount; ++position) {
        SCOPED_TRACE(position);
        const TFnButton* button = functions->Button(position);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->Tag, position);
        const auto found = byPosition.find(position);
        if (found == byPosition.end()) {
            EXPECT_TRUE(button->text().isEmpty());
            EXPECT_EQ(button->Kind, fkNone);
            EXPECT_FALSE(button->Used);
            EXPECT_FALSE(button->isEnabled());
            EXPECT_TRUE(button->ClickCommand.empty());
            EXPECT_TRUE(button->ValueCommand.empty());
            continue;
        }
        const TFnEntry& entry = *found->second;
        EXPECT_EQ(button->text().toStdString(), entry.Caption);
        EXPECT_EQ(button->Kind, entry.Kind);
        EXPECT_EQ(button->isEnabled(), entry.Used);
        EXPECT_EQ(button->ClickCommand, entry.ClickCommand);
        EXPECT_EQ(button->ValueCommand, entry.ValueCommand);
        EXPECT_EQ(button->DialogCaption.toStdString(), entry.DialogCaption);
        EXPECT_EQ(button->Hint().toStdString(), entry.Hint);

        EXPECT_FALSE(entry.ClickCommand.empty());
        EXPECT_FALSE(std::string(entry.Hint).empty());
        const bool opensDialog = entry.Kind != fkSend;
        EXPECT_EQ(!entry.ValueCommand.empty(), opensDialog);
        const std::string caption = entry.DialogCaption;
        EXPECT_EQ(!caption.empty(), opensDialog);
        if (opensDialog && entry.Kind != fkLinearization) {
            EXPECT_EQ(caption.rfind(std::string(entry.Caption) + " - ", 0), 0u) << caption;
        }
        // The tooltip breaks the line at each carriage return and keeps none.
        const QString tip = button->toolTip();
        EXPECT_FALSE(tip.contains(QLatin1Char('\r')));
        EXPECT_EQ(tip.count(QLatin1Char('\n')), button->Hint().count(QLatin1Char('\r')));
    }
}

TEST_F(FunctionPanel, FiftyNineKeysAreEnabledAndTheIoKeysAreNot)
{
    int enabled = 0;
    for (int position = 0; position < TFunctions::ButtonCount; ++position)
        enabled += functions->Button(position)->isEnabled() ? 1 : 0;
    EXPECT_EQ(enabled, 59);
    const std::map<int, const char*> captionedButDisabled{{30, "IN"}, {31, "IO"}, {32, "IM"}, {38, "IH"}};
    for (const auto& [position, caption] : captionedButDisabled) {
        EXPECT_EQ(functions->Button(position)->text().toStdString(), caption);
        EXPECT_FALSE(functions->Button(position)->isEnabled());
        EXPECT_FALSE(functions->Button(position)->ClickCommand.empty());
    }
}

TEST_F(FunctionPanel, TwinCaptionsAreDifferentKeys)
{
    // "DT": standard parameter 13 at 57, last dosed tare at 68.
    EXPECT_EQ(functions->Button(57)->Kind, fkValue);
    EXPECT_EQ(HexFromBytes(functions->Button(57)->ValueCommand), "1F 13");
    EXPECT_EQ(functions->Button(68)->Kind, fkSend);
    EXPECT_EQ(HexFromBytes(functions->Button(68)->ClickCommand), "0C");
    // "SD": start delay at 43, save dosing at 69.
    EXPECT_EQ(HexFromBytes(functions->Button(43)->ClickCommand), "12 0E");
    EXPECT_EQ(HexFromBytes(functions->Button(69)->ClickCommand), "1C 08");
    EXPECT_EQ(functions->Button(57)->text(), functions->Button(68)->text());
    EXPECT_EQ(functions->Button(43)->text(), functions->Button(69)->text());
}

TEST_F(FunctionPanel, GridFillsTheBoxRowByRow)
{
    for (int position = 0; position < TFunctions::ButtonCount; ++position) {
        const QRect r = functions->Button(position)->geometry();
        EXPECT_EQ(r, QRect((position % 10) * 59 + 6, (position / 10) * 22 + 16, 59, 22)) << position;
        EXPECT_EQ(functions->Button(position)->parentWidget(), box.get());
    }
    EXPECT_EQ(functions->Button(79)->geometry().topLeft(), QPoint(537, 170));

    QGroupBox other;
    other.resize(250, 100);  // (250-3)/10 = 24, (100-18)/8 = 10
    TFunctions small(&other);
    EXPECT_EQ(small.Button(11)->geometry(), QRect(24 + 6, 10 + 16, 24, 10));
}

TEST_F(FunctionPanel, ClickRaisesOnFunctionClickWithTheKey)
{
    functions->Button(20)->click();  // no handler yet: nothing happens

    std::vector<TFnButton*> clicked;
    functions->SetOnFunctionClick([&clicked](TFnButton* b) { clicked.push_back(b); });
    functions->Button(20)->click();  // GG
    functions->Button(6)->click();   // empty and disabled: no click
    functions->Button(74)->click();  // LC
    ASSERT_EQ(clicked.size(), 2u);
    EXPECT_EQ(clicked[0]->Tag, 20);
    EXPECT_EQ(HexFromBytes(clicked[0]->ClickCommand), "0E");
    EXPECT_EQ(clicked[1]->Kind, fkMassFlow);
}

TEST(FunctionPanelLifetime, FreeingThePanelOrTheBoxFreesTheKeysOnce)
{
    QGroupBox box;
    box.resize(601, 201);
    auto* functions = new TFunctions(&box);
    EXPECT_EQ(box.findChildren<TFnButton*>().size(), 80);
    delete functions;
    EXPECT_TRUE(box.findChildren<TFnButton*>().isEmpty());

    auto* owned = std::make_unique<QGroupBox>().release();
    owned->resize(601, 201);
    new TFunctions(owned);
    delete owned;  // the box frees the panel and the keys (ASan would object to a double free)
}

}  // namespace
