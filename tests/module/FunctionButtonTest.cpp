// The function-key panel against the module's command table: every key's
// caption, kind, enabled state, command bytes, dialog caption and hint.
#include "FunctionButton.h"
#include "Hex.h"

#include <QGroupBox>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <vector>

namespace {

struct TExpectedKey {
    int Position;
    const char* Caption;
    TFnKind Kind;
    bool Enabled;
    const char* Click;
    const char* Value;
    const char* DialogCaption;
    const char* Hint;
};

const TExpectedKey ExpectedKeys[] = {
    {0, "CE", fkValue, true, "03 03", "04 03", "CE - Calibrate Enable", "Calibrate Enable - Open Legal Parameters"},
    {1, "CZ", fkSend, true, "04 0A 00 00 00 00", "", "", "Calibrate Zero - Set Zero at curent Load (TAC protected)"},
    {2, "CG", fkValue, true, "03 04", "04 04", "CG - Calibrate Gain",
     "Calibrate Gain - Set Value for curent Load (TAC protected)"},
    {3, "CM", fkValue, true, "03 07", "04 07", "CM - Calibrate Max",
     "Calibrate Max - Set the maximum allowable output value (TAC protected)"},
    {4, "DS", fkValue, true, "03 0C", "04 0C", "DS - Set Display Step Size", "Set Display Step Size (TAC protected)"},
    {5, "DP", fkValue, true, "03 0B", "04 0B", "DP - Set decimal point",
     "Set decimal point - Set decimal point position (TAC protected)"},
    {7, "ZT", fkValue, true, "12 12", "1F 12", "ZT - Zerotracking",
     "Zerotracking - this command enables or disables the zerotracking (TAC protected)"},
    {8, "FD", fkSend, true, "08", "", "",
     "Factory default settings - this command put the WZM back to a known state (TAC protected)"},
    {9, "CS", fkSend, true, "1C 02", "", "", "Save - Save CZ,CG,CM,DS,DP and ZT calibration values (TAC protected)"},
    {10, "SZ", fkSend, true, "20", "", "", "Set the System Zero - this command will create a \"current\" zero point "},
    {11, "RZ", fkSend, true, "1B", "", "", "Reset the System Zero - go back to calibrated zero point"},
    {12, "ST", fkSend, true, "1E", "", "",
     "Set the tare point - this command will activate the net weighing function,\r by storing the current weighing "
     "signal output value as a tare value"},
    {13, "RT", fkSend, true, "1A", "", "",
     "Reset the tare - this command cancels the net weighing mode, and restores the current zero."},
    {14, "NR", fkValue, true, "12 0A", "1F 0A", "NR - Set the \"no-motion\" Range",
     "Set the \"no-motion\" Range - \rthis is the range within which the weighing signal is\rallowed to fluctuate and "
     "still be considered as \"stable\". "},
    {15, "NT", fkValue, true, "12 0B", "1F 0B", "NT - Set the \"no-motion\" Time",
     "Set the \"no-motion\" Time - Set the stabilisation time for the \"in motion\" band"},
    {16, "FL", fkValue, true, "12 04", "1F 04", "FL - Set the filter value", "Set the filter cut off frequency"},
    {17, "FM", fkValue, true, "12 09", "1F 09", "FM - Set filter mode",
     "Set the filter Mode -\r0= Gaussian IIR\r1= FIR filters"},
    {18, "UR", fkValue, true, "12 11", "1F 11", "UR - Set the update rate",
     "Set the update rate - this command defines the number of available updates per second"},
    {19, "WP", fkSend, true, "1C 04", "", "", "Save the NR,NT and FL set-up parameters"},
    {20, "GG", fkSend, true, "0E", "", "", "Get the gross value - returns the current gross weight value"},
    {21, "GN", fkSend, true, "0F", "", "", "Get the Netto value - returns the current netto weight value"},
    {22, "GT", fkSend, true, "11", "", "", "Get the Tare value - returns the current tare weight value"},
    {23, "GS", fkSend, true, "10", "", "",
     "Get the A/D sample value - returns the current output result of the A/D converter (ADC)"},
    {24, "GA", fkSend, true, "0A", "", "", "Get Average - returns the current average weight value"},
    {25, "IS", fkSend, true, "23", "", "", "Determine the device status"},
    {26, "RR", fkSend, true, "19", "", "", "Read A/D reference value"},
    {30, "IN", fkSend, false, "16", "", "", "Read the status of the input channels"},
    {31, "IO", fkValue, false, "17", "17", "IO - Modify outputs", "Read/Modify the status of the two output channels "},
    {32, "IM", fkValue, false, "17", "17", "IM - Modify output mask", "Set I/O Mask"},
    {33, "LinX", fkLinearization, true, "2B 10", "2B 40", "X - Linearization",
     "LinX - Set the X Linearization point value"},
    {34, "LinY", fkLinearization, true, "2B 20", "2B 50", "Y - Linearization",
     "LinY - Set the Y Linearization point value"},
    {35, "ClrLin", fkSend, true, "2C", "", "", "ClrLin - Put Linearization staight"},
    {36, "ID", fkSend, true, "15", "", "", "Get device ID"},
    {37, "IV", fkSend, true, "25", "", "", "Get software Version"},
    {38, "IH", fkSend, false, "14", "", "", "Get Hardware revision"},
    {40, "S", fkSetpoint, true, "1D 30", "1D 60", "S - Setpoint", "Setpoint - Set the setpoint limit value"},
    {41, "H", fkSetpoint, true, "1D 20", "1D 50", "H - Hysteresis", "Setpoint - Set the setpoint hysteresis value"},
    {42, "A", fkSetpoint, true, "1D 10", "1D 40", "A - Setpoint source",
     "Setpoint - Set the setpoint source - \r0= Gross Weight\r1= Netto Weight"},
    {43, "SD", fkValue, true, "12 0E", "1F 0E", "SD - Start delay",
     "Set the start delay - The time from trigger to measurement start"},
    {44, "MT", fkValue, true, "12 08", "1F 08", "MT - Measuring time",
     "Set the Measuring Time - Set the time over which the average value will be build"},
    {49, "SS", fkSend, true, "1C 10", "", "",
     "Save Setpoint values - \rsaves the settings of the setpoints (Sn),\rthe \"Setpoint Hysteresis\" settings "
     "(Hn)\rand the \"Setpoint Source\" settings (An)"},
    {50, "TL", fkValue, true, "26 01", "26 81", "TL - Set trigger level",
     "Set the trigger level for start of measurement"},
    {51, "TE", fkValue, true, "26 02", "26 82", "TE - Trigger Egde",
     "Set the trigger egde polarity\r0= Trig when weight decends thru the level\r1= Trig when weight rises thru the "
     "level"},
    {52, "RW", fkValue, true, "26 03", "26 83", "RW - Retrig Window", "Retrig Window - Set the re-trigger window"},
    {53, "TT", fkValue, true, "26 04", "26 84", "TT - Retrig Time", "Retrig Time - Set the re-trigger time"},
    {54, "HT", fkValue, true, "26 05", "26 85", "HT - Hold Time", "Hold Time - Set the update Hold Time"},
    {55, "TW", fkValue, true, "26 06", "26 86", "TW - Tare Window", "Tare Window - Set auto tare window"},
    {56, "TI", fkValue, true, "26 07", "26 87", "TI - Tare Time", "Tare Time - Set auto tare time"},
    {57, "DT", fkValue, true, "12 13", "1F 13", "DT - dTime", "dTime - Set delta time"},
    {58, "TS", fkValue, true, "26 08", "26 88", "TS - Retrig Stop", "Retrig Stop - Stop retrigger"},
    {60, "TR", fkSend, true, "24", "", "", "Trigger level - Starts/continues the filling cylce"},
    {64, "DI", fkSend, true, "05", "", "", "Determine the filling status"},
    {65, "SC", fkSend, true, "22", "", "",
     "Start cycle - (Re-)starts the filling software.\r(\"Dose program running\" status bit will be set)"},
    {66, "AC", fkSend, true, "01", "", "",
     "Abort cycle - Aborts the filling software.\r(\"Dose program running\" status bit will be cleared)"},
    {67, "GD", fkSend, true, "0B", "", "", "Get the last Dosed weight"},
    {68, "DT", fkSend, true, "0C", "", "", "get the last Dosed Tare weight"},
    {69, "SD", fkSend, true, "1C 08", "", "", "Save Dosing parameters"},
    {74, "LC", fkMassFlow, true, "29 01", "29 81", "LC - Loss Control", "Controls the mass flow software."},
    {75, "LI", fkSend, true, "29 02", "", "", "Report the Mass Flow status."},
    {76, "GF", fkSend, true, "29 03", "", "", "Get Flow value"},
    {77, "GR", fkSend, true, "29 04", "", "", "Get Trend value"},
    {78, "GM", fkSend, true, "29 05", "", "", "Get accumulated flow/ total Mass value"},
    {79, "SL", fkSend, true, "1C 20", "", "", "Save Mass Flow Parameters"},
};

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

TEST_F(FunctionPanel, EveryKeyMatchesTheCommandTable)
{
    std::map<int, const TExpectedKey*> byPosition;
    for (const TExpectedKey& key : ExpectedKeys) byPosition[key.Position] = &key;
    ASSERT_EQ(byPosition.size(), 63u);

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
        const TExpectedKey& key = *found->second;
        EXPECT_EQ(button->text().toStdString(), key.Caption);
        EXPECT_EQ(button->Kind, key.Kind);
        EXPECT_EQ(button->isEnabled(), key.Enabled);
        EXPECT_EQ(button->Used, key.Enabled);
        EXPECT_EQ(HexFromBytes(button->ClickCommand), key.Click);
        EXPECT_EQ(HexFromBytes(button->ValueCommand), key.Value);
        EXPECT_EQ(button->DialogCaption.toStdString(), key.DialogCaption);
        EXPECT_EQ(button->Hint().toStdString(), key.Hint);
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
