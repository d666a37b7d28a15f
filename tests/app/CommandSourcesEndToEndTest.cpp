// Function keys, their dialogs and the parameter pages against quorvel-slave
// with one and with eight modules: every kind of key, Set confirmed by a
// later read of its page, refused commands, and the module chosen in the
// window receiving the commands. (EndToEndTest reads all four pages.)
#include "MainFormTestSupport.h"

#include "app/AppWindows.h"
#include "app/BackupControl.h"
#include "core/ResultText.h"
#include "core/ParameterBackup.h"
#include "module/Dialog1.h"
#include "module/Dialog2.h"
#include "module/Dialog3.h"
#include "module/Dialog4.h"
#include "module/FillCell.h"
#include "module/FunctionButton.h"
#include "module/core/PageLayout.h"
#include "module/Parameters.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <fstream>
#include <iterator>
#include <cmath>

using namespace apptest;

namespace {

// Key positions on the function panel.
constexpr int KeyCG = 2, KeyGG = 20, KeyLinY = 34, KeyID = 36, KeyS = 40, KeyTL = 50, KeyLC = 74;
constexpr std::int32_t FirstDeviceId = 2301000;  // the simulator's module 0; module k has k more
constexpr int AnswerMs = 5000;

class CommandSourcesEndToEnd : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
        slave = std::make_unique<TSlaveProcess>(Modules());
        form = std::make_unique<TForm1>();
        DialogForm1 = dialog1.get();
        DialogForm2 = dialog2.get();
        DialogForm3 = dialog3.get();
        DialogForm4 = dialog4.get();
        QObject::connect(form.get(), &TForm1::CommandEnded,
                         [this](const TCommandResult& r) { answered += r.givenUp ? 0 : 1; });
        Choose(form->cbxNumWZMs, Modules());
        form->StartButton->click();
        ASSERT_TRUE(
            WaitFor([&] { return form->edbxCommStatus->text() == "Connected" && PageLive(Modules() - 1); }, 3000))
            << form->edbxCommStatus->text().toStdString();
        // With several modules the commands go to one that is not the first.
        Choose(form->cbxWZMaddr, Module());
    }
    void TearDown() override
    {
        CloseAllBoxes();
        DialogForm1 = nullptr;
        DialogForm2 = nullptr;
        DialogForm3 = nullptr;
        DialogForm4 = nullptr;
        dialog3->FlowTimer->stop();
        form.reset();
        slave.reset();
    }
    int Modules() const { return GetParam(); }
    int Module() const { return Modules() > 1 ? 5 : 0; }
    TWZMdata* Page() const { return form->Pages[static_cast<std::size_t>(Module())]; }
    bool PageLive(int k) const
    {
        bool ok = false;
        form->Pages[static_cast<std::size_t>(k)]->edbxGross->text().toDouble(&ok);
        return ok;
    }
    // Waits until `count` more commands are answered and nothing is left to send.
    bool Answered(int count)
    {
        const int target = seen + count;
        const bool ok = WaitFor(
            [&] {
                return answered >= target && !form->Channel.Pending() && form->Channel.QueueEmpty() &&
                       form->Read.Item() == 0;
            },
            AnswerMs);
        seen = answered;
        return ok;
    }
    void Click(int position) { form->Functions->Button(position)->click(); }
    TFillCell* Cell(int sheet, int item) const { return form->Parameters->Sheet(sheet)->Item(item); }
    // Reads page `sheet` with its Read button; true once every item came back.
    bool ReadPage(int sheet)
    {
        form->Parameters->Sheet(sheet)->ReadButton->click();
        return Answered(form->Parameters->Sheet(sheet)->ItemCount);
    }
    // The user types `text` into an item's edit (which enables its Set) and clicks Set.
    void TypeAndSet(int sheet, int item, const QString& text)
    {
        Cell(sheet, item)->Edit->setText(text);
        emit Cell(sheet, item)->Edit->textEdited(text);
        Cell(sheet, item)->SetButton->setEnabled(true);
        Cell(sheet, item)->SetButton->click();
    }
    // Opens a point dialog with `key`, chooses `point` and waits for its value.
    QString PointValue(TPointDialog& dialog, int key, int point)
    {
        Click(key);
        EXPECT_TRUE(Answered(1));
        Choose(dialog.ComboBox1, point);
        EXPECT_TRUE(Answered(1));
        return dialog.Edit1->text();
    }

    TTempTree tree;
    std::unique_ptr<TSlaveProcess> slave;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TDialogForm1> dialog1 = std::make_unique<TDialogForm1>();
    std::unique_ptr<TDialogForm2> dialog2 = std::make_unique<TDialogForm2>();
    std::unique_ptr<TDialogForm3> dialog3 = std::make_unique<TDialogForm3>();
    std::unique_ptr<TDialogForm4> dialog4 = std::make_unique<TDialogForm4>();
    int answered = 0;
    int seen = 0;
};

}  // namespace

TEST_P(CommandSourcesEndToEnd, SendAndValueKeys)
{
    Click(KeyGG);
    ASSERT_TRUE(Answered(1));
    bool ok = false;
    const double gross = form->edbxResult->text().toDouble(&ok);
    ASSERT_TRUE(ok) << form->edbxResult->text().toStdString();
    EXPECT_NEAR(gross, Page()->edbxGross->text().toDouble(), 2.0) << "the gross weight of the chosen module";

    Click(KeyTL);
    ASSERT_TRUE(dialog1->isVisible());
    EXPECT_EQ(dialog1->windowTitle(), "TL - Set trigger level");
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(dialog1->Edit1->text(), "500") << "the present trigger level";
    dialog1->Edit1->setText("750");
    dialog1->Button1->click();
    EXPECT_FALSE(dialog1->isVisible());
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(form->edbxResult->text(), "") << "a confirmed trigger write shows in its cell";
    EXPECT_EQ(Cell(1, 1)->Edit->text(), "750");
    Click(KeyTL);
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(dialog1->Edit1->text(), "750") << "a later read confirms the Set";
    dialog1->Button2->click();
}

TEST_P(CommandSourcesEndToEnd, SetpointAndLinearisationKeysWithAPoint)
{
    EXPECT_EQ(PointValue(*dialog2, KeyS, 2), "3000");
    EXPECT_EQ(dialog2->windowTitle(), "S - Setpoint");
    dialog2->Edit1->setText("2500");
    dialog2->Button1->click();
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(form->Channel.SentIndex, 0x62);
    EXPECT_EQ(PointValue(*dialog2, KeyS, 2), "2500");
    EXPECT_EQ(PointValue(*dialog2, KeyS, 1), "2000") << "the other points keep their values";
    dialog2->Button2->click();

    EXPECT_EQ(PointValue(*dialog4, KeyLinY, 6), "0");
    dialog4->Edit1->setText("1234");
    dialog4->Button1->click();
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(form->Channel.SentIndex, 0x56);
    EXPECT_EQ(PointValue(*dialog4, KeyLinY, 6), "1234");
    dialog4->Button2->click();
}

TEST_P(CommandSourcesEndToEnd, MassFlowControlStartPollPauseStop)
{
    Click(KeyLC);
    ASSERT_TRUE(dialog3->isVisible());
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(dialog3->lbLiwState->text(), "Stopped");

    // Each control is followed by a state read; the open dialog shows it.
    dialog3->btLiwStart->click();
    EXPECT_TRUE(dialog3->isVisible());
    EXPECT_TRUE(dialog3->FlowTimer->isActive());
    dialog3->FlowTimer->stop();  // the test gives the ticks itself
    ASSERT_TRUE(Answered(2));
    EXPECT_EQ(dialog3->lbLiwState->text(), "Running");
    Pump(1500);  // the module feeds for a while
    for (int tick = 0; tick < TDialogForm3::PollEveryTicks; ++tick) dialog3->FlowPollTick();
    ASSERT_TRUE(Answered(2));
    bool trendOk = false, totalOk = false;
    Page()->edbxTrend->text().toDouble(&trendOk);
    const double total = Page()->edbxTotalMass->text().toDouble(&totalOk);
    EXPECT_TRUE(trendOk) << Page()->edbxTrend->text().toStdString();
    EXPECT_TRUE(totalOk) << Page()->edbxTotalMass->text().toStdString();
    EXPECT_GT(total, 0.0) << "the total mass grows while the flow runs";

    dialog3->btLiwPause->click();
    ASSERT_TRUE(Answered(2));
    EXPECT_EQ(dialog3->lbLiwState->text(), "Paused ");
    dialog3->btLiwStop->click();
    EXPECT_FALSE(dialog3->FlowTimer->isActive());
    ASSERT_TRUE(Answered(2));
    EXPECT_EQ(dialog3->lbLiwState->text(), "Stopped");
    dialog3->hide();
}

TEST_P(CommandSourcesEndToEnd, SetOnACellWritesAndAReadConfirms)
{
    TypeAndSet(2, 1, "1234");  // Filling: target weight
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(Cell(2, 1)->Edit->text(), "1234");
    EXPECT_FALSE(Cell(2, 1)->SetButton->isEnabled());
    TypeAndSet(1, 8, "1");  // Trigger: retrigger stop
    ASSERT_TRUE(Answered(1));

    ASSERT_TRUE(ReadPage(2));  // Read empties the cells first
    EXPECT_EQ(Cell(2, 1)->Edit->text(), "1234");
    ASSERT_TRUE(ReadPage(1));
    EXPECT_EQ(Cell(1, 8)->Edit->text(), "1");
    EXPECT_EQ(Cell(1, 1)->Edit->text(), "500") << "the other items read back unchanged";
    EXPECT_EQ(Cell(2, 2)->Edit->text(), "150");
}

TEST_P(CommandSourcesEndToEnd, RefusedCommandsShowTheirErrorTextAndAreLogged)
{
    Click(KeyCG);  // calibration is not open
    ASSERT_TRUE(Answered(1));
    dialog1->Edit1->setText("5000");
    dialog1->Button1->click();
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(form->edbxResult->text(), "** CAL_NOT_OPEN **");
    EXPECT_EQ(LastLine(form->mMessages), "** CAL_NOT_OPEN **");

    TypeAndSet(3, 2, "101");  // tolerance above 100 %
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(form->edbxResult->text(), "** BAD_FLOW_PARAM_VALUE **");
    EXPECT_EQ(LastLine(form->mMessages), "** BAD_FLOW_PARAM_VALUE **");

    form->QueueCommand(form->SelectedModule(), {0x3F});  // a code the module does not know
    ASSERT_TRUE(Answered(1));
    EXPECT_EQ(form->edbxResult->text(), "** NOT_IMPLEMENTED **");
}

TEST_P(CommandSourcesEndToEnd, CommandsGoToTheModuleChosenInTheWindow)
{
    for (int module = 0; module < Modules(); module += 3) {
        Choose(form->cbxWZMaddr, module);
        Click(KeyID);
        ASSERT_TRUE(Answered(1));
        EXPECT_EQ(form->edbxResult->text().toStdString(), resulttext::Hex(FirstDeviceId + module, 8));
        EXPECT_TRUE(
            LastLine(form->mMessages).startsWith(QStringLiteral("Cmd(%1: %1 00 15").arg(module, 2, 10, QChar('0'))))
            << LastLine(form->mMessages).toStdString();
    }
}

// Module -> Backup, a value changed on the module, then Restore of the file
// with another value the module refuses: the restore reads the module first,
// shows which items differ and waits, writes only those and reports the
// refused one, and names the item the file lacks.
TEST_P(CommandSourcesEndToEnd, BackupAndRestoreReportTheDifference)
{
    form->cbFastCycle->setChecked(true);
    const auto wait = [&] { return WaitFor([&] { return !form->Backup()->Dialog()->Running(); }, 60000); };
    const QString file = QString::fromStdString((tree.Work() / "backup.txt").string());
    form->Backup()->StartBackup(file);
    ASSERT_TRUE(wait()) << form->Backup()->Dialog()->Status->text().toStdString();
    EXPECT_TRUE(form->Backup()->Dialog()->Status->text().contains(" refused"))
        << form->Backup()->Dialog()->Status->text().toStdString();
    EXPECT_EQ(LastLine(form->mMessages), QStringLiteral("Backup of WZM %1: ").arg(form->SelectedModule()) +
                                             form->Backup()->Dialog()->Status->text());
    std::ifstream in(tree.Work() / "backup.txt");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("identification: device ID " + resulttext::Hex(FirstDeviceId + form->SelectedModule(), 8)),
              std::string::npos)
        << text;
    backup::TRead read = backup::Read(text, conf::PageLayoutOf(form->Parameters->Lines));
    ASSERT_TRUE(read.file) << read.error;
    QString targetWeight;
    for (backup::TItem& item : read.file->items) {
        if (item.page == "Filling" && item.number == 1) targetWeight = QString::number(item.value.value_or(0));
        if (item.page == "Mass flow" && item.number == 2) item.value = 101;
    }
    std::erase_if(read.file->items,
                  [](const backup::TItem& item) { return item.page == "Trigger" && item.number == 3; });
    std::ofstream(tree.Work() / "backup.txt") << backup::Write(*read.file);

    TypeAndSet(2, 1, "1234");  // Filling: target weight changed after the backup
    ASSERT_TRUE(Answered(1));
    form->Backup()->OfferRestore(file);
    TBackupDialog& dialog = *form->Backup()->Dialog();
    ASSERT_TRUE(WaitFor([&] { return dialog.WriteButton->isVisible(); }, 60000)) << dialog.Status->text().toStdString();
    const QString plan = dialog.Report->toPlainText();
    EXPECT_TRUE(plan.contains("Filling 1 Target weight: module 1234, file " + targetWeight + ", different: writes"))
        << plan.toStdString();
    EXPECT_TRUE(plan.contains(QRegularExpression("Mass flow 2 [^\n]*, file 101, different: writes")))
        << plan.toStdString();
    EXPECT_TRUE(plan.contains("\nTrigger 3 Retrigger window: not in the file")) << plan.toStdString();
    EXPECT_TRUE(dialog.Status->text().startsWith("2 of ")) << dialog.Status->text().toStdString();
    EXPECT_TRUE(dialog.Status->text().contains(" 1 item(s) of the pages are not in the file."))
        << dialog.Status->text().toStdString();
    EXPECT_TRUE(form->Channel.QueueEmpty() && !form->Channel.Pending()) << "nothing is written before Write";
    dialog.WriteButton->click();
    ASSERT_TRUE(wait()) << dialog.Status->text().toStdString();
    EXPECT_TRUE(dialog.Status->text().contains(
        QRegularExpression("^Restore incomplete: \\d+ unchanged, 1 written and confirmed, 1 refused, 0 not answered")))
        << dialog.Status->text().toStdString();
    EXPECT_EQ(
        LastLine(form->mMessages),
        QStringLiteral("Restore of WZM %1 from %2: ").arg(form->SelectedModule()).arg(file) + dialog.Status->text());
    EXPECT_TRUE(dialog.Report->toPlainText().contains(
        "difference: Mass flow 2 Flow tolerance (%): write refused ** BAD_FLOW_PARAM_VALUE **"))
        << dialog.Report->toPlainText().toStdString();
    EXPECT_EQ(dialog.Progress->value(), dialog.Progress->maximum());
    ASSERT_TRUE(ReadPage(2));
    EXPECT_EQ(Cell(2, 1)->Edit->text(), targetWeight) << "the backup's target weight is back";
}

INSTANTIATE_TEST_SUITE_P(Modules, CommandSourcesEndToEnd, ::testing::Values(1, 8),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });
