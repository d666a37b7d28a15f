// The window against quorvel-slave on a pseudo-terminal: start-up to
// "Connected", live values, the command channel under load, a simulator
// that dies and comes back, and the weight plot.
#include "MainFormTestSupport.h"

#include "app/BusStatisticsView.h"
#include "app/DiagnosisView.h"
#include "app/LineControl.h"
#include "app/ModulesOverview.h"
#include "app/StationsControl.h"
#include "app/StationsDialog.h"
#include "tests/support/TempFolder.h"
#include "app/ViewControl.h"
#include "app/WeightPlot.h"
#include "module/Parameters.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QTableWidget>
#include <QMessageBox>
#include <QRegularExpression>
#include <fstream>
#include <vector>

using namespace apptest;

namespace {

class EndToEnd : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
        slave = std::make_unique<TSlaveProcess>(Modules());
        form = std::make_unique<TForm1>();
        Choose(form->cbxNumWZMs, Modules());
        QObject::connect(form.get(), &TForm1::CommandEnded, [this](const TCommandResult& r) {
            if (!r.givenUp) answered.push_back(r.index);
        });
    }
    void TearDown() override
    {
        CloseAllBoxes();
        form.reset();
        slave.reset();
    }
    int Modules() const { return GetParam(); }
    bool Connected() const { return form->edbxCommStatus->text() == "Connected"; }
    bool AllPagesLive() const
    {
        for (int k = 0; k < Modules(); ++k) {
            bool ok = false;
            form->Pages[static_cast<std::size_t>(k)]->edbxGross->text().toDouble(&ok);
            if (!ok) return false;
        }
        return true;
    }
    // Queues `count` raw-count reads told apart by their index.
    void QueueReads(int first, int count)
    {
        for (int i = first; i < first + count; ++i) form->QueueCommand(0, {0x10, static_cast<std::uint8_t>(i)});
    }

    TTempTree tree;
    std::unique_ptr<TSlaveProcess> slave;
    std::unique_ptr<TForm1> form;
    std::vector<int> answered;  // SentIndex of each answered command, in order
};

}  // namespace

TEST_P(EndToEnd, ConnectsShowsLiveValuesAndCarriesAHundredCommands)
{
    // The time to "Connected" (about 1.4 s) is a figure of quorvel-bench-app;
    // here a loaded test machine gets room for a start-up that has to begin anew.
    form->StartButton->click();
    ASSERT_TRUE(WaitFor([&] { return Connected(); }, 10000)) << form->edbxCommStatus->text().toStdString();
    EXPECT_EQ(form->edbxCommStatus->palette().color(QPalette::Text), QColor(0, 0, 128));
    // The window counts the link as up in the same step that shows "Connected".
    EXPECT_FALSE(form->StopButton->isDefault());
    ASSERT_TRUE(WaitFor([&] { return AllPagesLive(); }, 5000));
    for (int k = 0; k < Modules(); ++k)
        EXPECT_FALSE(form->Pages[static_cast<std::size_t>(k)]->edbxQualifier->text().isEmpty());

    QueueReads(0, 100);
    ASSERT_TRUE(WaitFor([&] { return answered.size() >= 100 && !form->Channel.Pending(); }, 60000))
        << answered.size() << " answered";
    Pump(300);
    std::vector<int> expected(100);
    for (int i = 0; i < 100; ++i) expected[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(answered, expected) << "each command answered once, in the order queued";
    EXPECT_FALSE(form->mMessages->toPlainText().contains("NO RESULT"));
    EXPECT_FALSE(form->mMessages->toPlainText().contains("Not connected"));
    EXPECT_EQ(ErrorBoxText(), "");
    // The status bar counts the answers; none was corrupt.
    EXPECT_TRUE(WaitFor([&] { return !form->Line()->CountersLabel()->text().contains("ok 0 "); }, 2000));
    EXPECT_TRUE(form->Line()->CountersLabel()->text().contains("  bad 0 (0/min)  ok "))
        << form->Line()->CountersLabel()->text().toStdString();
    // The full table, and a reset that starts the count anew.
    form->Line()->OpenStatistics();
    const QTableWidget* stats = form->Line()->Statistics()->Table();
    EXPECT_EQ(stats->item(1, 0)->text(), "answers");
    EXPECT_GE(stats->item(1, 1)->text().toInt(), 100);
    const auto cycleMs = [&](int fromEnd) {
        return stats->item(stats->rowCount() - fromEnd, 1)->text().section(QLatin1Char(' '), 0, 0).toDouble();
    };
    EXPECT_GT(cycleMs(3), 0) << "the least cycle";
    EXPECT_LE(cycleMs(3), cycleMs(2)) << "least, mean";
    EXPECT_LE(cycleMs(2), cycleMs(1)) << "mean, largest";
    form->Line()->ResetCounters();
    EXPECT_TRUE(form->Line()->CountersLabel()->text().startsWith("lost 0 (0/min)  bad 0 (0/min)  ok 0  Req 0"));
    EXPECT_LE(stats->item(1, 1)->text().toInt(), 1);
    EXPECT_EQ(cycleMs(1), 0) << "the master's extremes count afresh";
}

TEST_P(EndToEnd, StopGreysEveryPageAndTheOverviewAndAnAnswerStillUnderWayLeavesThemGrey)
{
    form->View()->OpenModulesOverview();
    const QTableWidget* table = form->View()->ModulesOverview()->Table();
    form->StartButton->click();
    ASSERT_TRUE(WaitFor([&] { return Connected() && AllPagesLive(); }, 10000));
    ASSERT_EQ(table->rowCount(), Modules());
    EXPECT_TRUE(table->item(Modules() - 1, 0)->flags() & Qt::ItemIsEnabled);
    form->StopButton->click();
    const std::uint32_t shown = form->ShownCount;
    WaitFor([&] { return form->ShownCount > shown; }, 300);  // the answer in flight, if any
    for (int k = 0; k < Modules(); ++k) {
        EXPECT_FALSE(form->Pages[static_cast<std::size_t>(k)]->edbxGross->isEnabled());
        EXPECT_FALSE(table->item(k, 0)->flags() & Qt::ItemIsEnabled);
        EXPECT_EQ(table->item(k, 1)->text(), form->Pages[static_cast<std::size_t>(k)]->edbxNet->text());
    }
    EXPECT_EQ(form->edbxCommStatus->text(), "Not Connected");
}

TEST_P(EndToEnd, SurvivesTheSimulatorDyingAndComingBack)
{
    form->StartButton->click();
    ASSERT_TRUE(WaitFor([&] { return Connected() && AllPagesLive(); }, 10000));

    slave->Stop(SIGKILL);
    QueueReads(1, 1);  // placed, and its answer never comes
    QueueReads(2, 2);  // waiting behind it
    Pump(300);
    slave->Start(Modules(), 2);

    ASSERT_TRUE(WaitFor([&] { return form->mMessages->toPlainText().contains("** NO RESULT **"); }, 15000));
    ASSERT_TRUE(WaitFor([&] { return answered.size() >= 2; }, 10000)) << answered.size() << " answered";
    EXPECT_EQ(answered, (std::vector<int>{2, 3})) << "the later commands go out and are answered";
    EXPECT_TRUE(Connected());
    EXPECT_TRUE(form->mMessages->toPlainText().contains(") is back")) << "the memo tells of the port's return";
    EXPECT_EQ(ErrorBoxText(), "");
}

TEST_P(EndToEnd, ReadFillsEveryCellOfEachParameterPage)
{
    form->StartButton->click();
    ASSERT_TRUE(WaitFor([&] { return Connected(); }, 10000));
    Choose(form->cbxWZMaddr, Modules() - 1);  // the last module answers
    for (int s = 0; s < 4; ++s) {
        const TParamSheet* sheet = form->Parameters->Sheet(s);
        ASSERT_NE(sheet, nullptr);
        form->ReadParameters(s);
        ASSERT_TRUE(WaitFor([&] { return form->Read.Item() == 0 && !form->Channel.Pending(); }, 20000)) << "page " << s;
        for (int item = 1; item <= sheet->ItemCount; ++item) {
            const TFillCell* cell = sheet->Item(item);
            bool number = false;
            cell->Edit->text().toInt(&number);
            EXPECT_TRUE(number && cell->Edit->isEnabled())
                << "page " << s << " item " << item << ": '" << cell->Edit->text().toStdString() << "'";
        }
    }
    EXPECT_FALSE(form->mMessages->toPlainText().contains("**"));
}

TEST_P(EndToEnd, WeightPlotDrawsEveryModuleMarksTheLostLinkAndExportsTheWindow)
{
    form->StartButton->click();
    ASSERT_TRUE(WaitFor([&] { return Connected() && AllPagesLive(); }, 10000));
    form->PageControl1->setCurrentIndex(Modules() - 1);
    form->View()->OpenWeightPlot();
    TWeightPlot* plot = form->View()->WeightPlot();
    ASSERT_TRUE(plot && plot->isVisible());
    EXPECT_EQ(plot->Module(), Modules() - 1) << "the plot follows the chosen module tab";
    plot->cbAllModules->setChecked(true);
    // Gross and net of each module, a few redraws on.
    ASSERT_TRUE(WaitFor([&] { return plot->PointsShown() >= 2 * Modules() * 5; }, 5000)) << plot->PointsShown();
    EXPECT_EQ(plot->ShownModules().size(), static_cast<std::size_t>(Modules()));
    EXPECT_EQ(plot->LinkLossesShown(), 0);
    form->StopButton->click();  // a user's Stop is drawn as a stop, not as a lost link
    ASSERT_TRUE(WaitFor([&] { return plot->StopsShown() == 1; }, 3000));
    EXPECT_EQ(plot->LinkLossesShown(), 0);
    form->StartButton->click();
    ASSERT_TRUE(WaitFor([&] { return Connected(); }, 10000));

    slave->Stop(SIGKILL);
    ASSERT_TRUE(WaitFor([&] { return plot->LinkLossesShown() == 1; }, 10000));
    plot->SetPaused(true);
    const int frozen = plot->PointsShown();
    Pump(3 * TWeightPlot::RedrawMs);
    EXPECT_EQ(plot->PointsShown(), frozen) << "paused, the plot stands still";
    EXPECT_TRUE(plot->lbInfo->text().endsWith("(paused)")) << plot->lbInfo->text().toStdString();

    TempFolder folder;
    const QString file = QString::fromStdString(folder.str() + "/w.csv");
    plot->ExportCsv(file);
    EXPECT_TRUE(plot->lbInfo->text().endsWith("; exported to " + file)) << plot->lbInfo->text().toStdString();
    std::ifstream in(file.toStdString());
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "time,station,module,gross (kg),net (kg),status bytes,event");
    std::vector<int> rows(static_cast<std::size_t>(Modules()));
    QStringList events;
    while (std::getline(in, line)) {
        const QStringList cells = QString::fromStdString(line).split(',');
        ASSERT_EQ(cells.size(), 7) << line;
        EXPECT_EQ(cells[1], "3") << "the station";
        if (!cells[6].isEmpty()) {
            events << cells[6];
            continue;
        }
        const int module = cells[2].toInt();
        ASSERT_TRUE(module >= 0 && module < Modules()) << line;
        ++rows[static_cast<std::size_t>(module)];
    }
    for (int k = 0; k < Modules(); ++k) EXPECT_GT(rows[static_cast<std::size_t>(k)], 5) << "module " << k;
    EXPECT_EQ(events, (QStringList{"stop", "link lost"}));
    EXPECT_THROW(plot->ExportCsv(QString::fromStdString(folder.str() + "/no/such/folder.csv")), std::exception);

    // Another module count starts a new history.
    form->StopButton->click();
    Choose(form->cbxNumWZMs, Modules() == 1 ? 2 : 1);
    plot->SetPaused(false);
    EXPECT_EQ(plot->PointsShown(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modules, EndToEnd, ::testing::Values(1, 8),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

TEST(EndToEndStations, FindStationsTakesAStationAndTheWindowOffersTheSlavesModuleCount)
{
    TTempTree tree;
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
    TSlaveProcess slave(std::vector<std::string>{"--station", "3:2", "--station", "7:8", "--station", "20:1"});
    TForm1 form;

    form.FindStationsButton->click();
    TStationsDialog* dialog = form.Stations()->Dialog();
    ASSERT_TRUE(dialog && dialog->isVisible());
    ASSERT_TRUE(WaitFor([&] { return !dialog->Scanning(); }, 20000));
    ASSERT_EQ(dialog->List()->rowCount(), 3) << dialog->Status()->text().toStdString();
    QStringList row;
    for (int column = 0; column < 4; ++column) row << dialog->List()->item(1, column)->text();
    EXPECT_EQ(row.join(' '), "7 slave 09C5 8");
    EXPECT_TRUE(dialog->List()->item(1, 4)->text().contains("Prm_Req"));
    emit dialog->List()->cellDoubleClicked(1, 0);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(form.cbxProfiAddr->currentText(), "7");
    EXPECT_EQ(form.cbxNumWZMs->currentIndex(), 8);

    form.DiagnosisButton->click();  // the chosen station's diagnosis, not the last one scanned
    EXPECT_TRUE(
        form.Stations()->DiagnosisView()->Header()->text().contains("station 7, master none, Ident_Number 09C5"));
    EXPECT_TRUE(form.Stations()->DiagnosisView()->Flag(diag::Prm_Req)->styleSheet().contains("bold"));
    EXPECT_FALSE(form.Stations()->DiagnosisView()->Flag(diag::Cfg_Fault)->styleSheet().contains("bold"));

    // A wrong count: said once in the messages, and the offer fixes it.
    Choose(form.cbxNumWZMs, 1);
    form.StartButton->click();
    EXPECT_FALSE(form.FindStationsButton->isEnabled());
    QMessageBox* offer = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (offer = form.findChild<QMessageBox*>("ModuleCountOffer")) != nullptr; }, 10000));
    EXPECT_TRUE(form.mMessages->toPlainText().contains(
        "Slave 7 refused the configuration: WZM count is 1, the slave has 8 modules"));
    offer->button(QMessageBox::Yes)->click();
    EXPECT_EQ(form.cbxNumWZMs->currentIndex(), 8);
    EXPECT_TRUE(WaitFor([&] { return form.edbxCommStatus->text() == "Connected" && form.Pages[7]; }, 10000));
    CloseAllBoxes();
}

// A refused start-up never says "Connected" and keeps its reason in view; a
// new address takes effect at once, and a silent one offers Find stations.
TEST(EndToEndLinkStatus, RefusalAndSilenceAreShownUntilTheUserActs)
{
    TTempTree tree;
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
    TSlaveProcess slave(8);  // the window sends one module
    QStringList shown;       // every text of the status edit (elided where narrow), outlives the window
    TForm1 form;
    QObject::connect(form.edbxCommStatus, &QLineEdit::textChanged, [&](const QString& t) { shown << t; });
    const auto status = [&] { return form.edbxCommStatus->text(); };
    const auto memo = [&] { return form.mMessages->toPlainText(); };
    form.show();
    form.StartButton->click();
    QMessageBox* box = WaitForBox(form, "ModuleCountOffer", 10000);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().startsWith("The slave has 8 modules, the WZM count is 1.")) << box->text().toStdString();
    box->button(QMessageBox::No)->click();
    ASSERT_TRUE(WaitFor([&] { return memo().contains("Configuration refused (\u00d73)"); }, 10000))
        << memo().toStdString();
    EXPECT_FALSE(shown.contains("Connected"));
    EXPECT_TRUE(status().startsWith("Configuration refus"));
    EXPECT_EQ(form.edbxCommStatus->palette().color(QPalette::Text), QColor(128, 0, 0));
    const QString reason = "Slave 3 refused the configuration: WZM count is 1, the slave has 8 modules";
    EXPECT_EQ(form.edbxCommStatus->toolTip(), reason);
    EXPECT_EQ(form.lbStatusLink->text(), "Link: Configuration refused \u2013 " + reason);
    EXPECT_LE(form.width(), TForm1::BaseWidth) << "a long reason does not widen the window";
    EXPECT_EQ(memo().count(reason), 1) << "the reason is said once";

    form.SetModuleCountFromCode(8);  // what "Yes" does
    ASSERT_TRUE(WaitFor([&] { return status() == "Connected"; }, 10000)) << status().toStdString();
    EXPECT_FALSE(memo().contains("WZM count is 8")) << "a refusal names the count sent";
    TypeAndEnter(form.cbxProfiAddr, "9");
    EXPECT_TRUE(WaitFor([&] { return status() == "Connecting"; }, 500)) << status().toStdString();
    EXPECT_FALSE(form.Pages[0]->edbxGross->isEnabled());

    ASSERT_NE(box = WaitForBox(form, "NoStationBox", 8000), nullptr);
    EXPECT_EQ(form.lbStatusLink->text(), "Link: No station answers at address 9");
    EXPECT_TRUE(
        memo().contains(QRegularExpression("^Connecting \\(\u00d7\\d+\\)$", QRegularExpression::MultilineOption)))
        << "repeated lines are folded";
    box->defaultButton()->click();  // Find stations
    EXPECT_EQ(form.Master->CurrentState().State, stIdle);
    EXPECT_TRUE(form.Stations()->Dialog() && form.Stations()->Dialog()->isVisible());
    CloseAllBoxes();
}

// The offer of the slave's count: beside the window, once a Start, Escape
// answers No, and it closes itself once it no longer applies. The memo
// tells each step.
TEST(EndToEndLinkStatus, TheCountOfferIsAskedOncePerStartAndClosesWhenStale)
{
    TTempTree tree;
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
    TSlaveProcess slave(8);
    TForm1 form;
    form.show();
    const auto memo = [&] { return form.mMessages->toPlainText(); };
    const auto offers = [&] {
        int shown = 0;
        for (const QMessageBox* b : form.findChildren<QMessageBox*>("ModuleCountOffer")) shown += b->isVisible();
        return shown;
    };
    form.StartButton->click();
    QMessageBox* box = WaitForBox(form, "ModuleCountOffer", 10000);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isModal()) << "the window's keys stay at hand";
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(box, &escape);
    EXPECT_EQ(offers(), 0);
    EXPECT_TRUE(memo().contains("WZM count kept at 1 (the slave has 8)"));
    ASSERT_TRUE(WaitFor([&] { return memo().contains("Configuration refused (\u00d73)"); }, 10000));
    EXPECT_EQ(offers(), 0) << "a refusal repeated in the same run is not asked again";

    form.StopButton->click();
    EXPECT_EQ(LastLine(form.mMessages), "Stopped");
    form.StartButton->click();
    ASSERT_NE(WaitForBox(form, "ModuleCountOffer", 10000), nullptr) << "a new Start asks again";
    form.StopButton->click();
    EXPECT_EQ(offers(), 0) << "Stop closes the offer";

    form.StartButton->click();
    ASSERT_NE(WaitForBox(form, "ModuleCountOffer", 10000), nullptr);
    form.SetModuleCountFromCode(8);  // as the live list does
    EXPECT_EQ(offers(), 0) << "a new count closes the offer";
    EXPECT_TRUE(memo().contains("WZM count: 8"));
    ASSERT_TRUE(WaitFor([&] { return form.edbxCommStatus->text() == "Connected"; }, 10000));
    Pump(300);
    EXPECT_EQ(offers(), 0);
    form.StopButton->click();
    EXPECT_EQ(form.edbxCommStatus->text(), "Not Connected");
    EXPECT_EQ(LastLine(form.mMessages), "Stopped");
}
