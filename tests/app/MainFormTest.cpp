// The main window on its own: start-up state, Start and Stop, the combo boxes
// and module tabs, with the real port component on a pseudo-terminal.
#include "MainFormTestSupport.h"

#include "module/FillCell.h"
#include "module/Parameters.h"
#include "app/QtSerialAdapters.h"
#include "app/BusStatisticsView.h"
#include "app/DialogPlacement.h"
#include "app/LineControl.h"
#include "app/ModulesOverview.h"
#include "app/TraceControl.h"
#include "app/ViewControl.h"
#include "app/WeightPlot.h"
#include "tests/support/TempFolder.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QSet>
#include <QStatusBar>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTabBar>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace apptest;

namespace {

void PressEnter(QWidget* target)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

}  // namespace

TEST_F(WindowTest, StartsIdleWithOnePageOnThePreferredPort)
{
    // The status names the present state; no field shows its control's name.
    EXPECT_EQ(form->edbxCommStatus->text(), "Not Connected");
    EXPECT_EQ(form->edbxCommStatus->focusPolicy(), Qt::ClickFocus) << "Tab passes the status by";
    for (const QLineEdit* edit : form->findChildren<QLineEdit*>())
        EXPECT_TRUE(edit->objectName().isEmpty() || edit->text() != edit->objectName())
            << edit->objectName().toStdString();
    EXPECT_EQ(form->edbxResult->text(), "");
    EXPECT_EQ(form->Pages[0]->edbxTrend->placeholderText(), "not read");
    EXPECT_EQ(form->Master->CurrentState().State, stIdle);
    EXPECT_EQ(form->Master->SlaveAddress, 3);
    ASSERT_EQ(form->PageControl1->count(), 1);
    EXPECT_EQ(form->PageControl1->tabText(0), "WZM 0");
    EXPECT_NE(form->Pages[0], nullptr);
    EXPECT_EQ(form->Pages[1], nullptr);
    EXPECT_EQ(form->cbxWZMaddr->currentText(), "0");
    EXPECT_EQ(form->cbxWZMaddr->count(), 1) << "one unit address for each module";
    EXPECT_EQ(form->cbxNumWZMs->currentText(), "1");
    EXPECT_EQ(form->cbxNumWZMs->count(), 9);
    EXPECT_EQ(form->cbxPort->currentText(), "COM2");
    EXPECT_TRUE(form->Master->CommUnit().Port().Open());
    EXPECT_TRUE(form->StartButton->isEnabled());
    EXPECT_TRUE(form->StartButton->isDefault());
    EXPECT_FALSE(form->StopButton->isEnabled());
    EXPECT_TRUE(form->cbxPort->isEnabled() && form->cbxProfiAddr->isEnabled() && form->cbxNumWZMs->isEnabled());
    EXPECT_EQ(form->pcParams->tabText(form->pcParams->currentIndex()), "Standard");
    ASSERT_NE(form->Parameters, nullptr);
    EXPECT_EQ(form->Parameters->SheetCount, 4);
    EXPECT_NE(form->Functions, nullptr);
    EXPECT_EQ(HexDump(form->Master->OutputData), " 00 00 00 00 00 00 00 00 00");

    Pump(250);
    EXPECT_EQ(ReadFarText(line, 0ms, 0ms), "") << "nothing is sent before Start";
    EXPECT_EQ(ErrorBoxText(), "");
}

TEST_F(WindowTest, StartAndStopFollowTheirTable)
{
    form->StartButton->click();
    EXPECT_FALSE(form->StartButton->isEnabled());
    EXPECT_FALSE(form->StartButton->isDefault());
    EXPECT_TRUE(form->StopButton->isEnabled());
    EXPECT_TRUE(form->StopButton->isDefault());
    EXPECT_FALSE(form->cbxPort->isEnabled());
    EXPECT_FALSE(form->cbxNumWZMs->isEnabled());
    EXPECT_TRUE(form->cbxProfiAddr->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return ReadFarText(line, 0ms, 0ms).find("\xFE\xFF\x01") != std::string::npos; }, 1000))
        << "the start sequence goes out on the open port";

    PressEnter(form.get());  // Stop is the default button until connected
    EXPECT_EQ(form->Master->CurrentState().State, stIdle);
    EXPECT_EQ(form->edbxCommStatus->text(), "Not Connected");
    EXPECT_EQ(form->edbxCommStatus->palette().color(QPalette::Text), QColor(128, 0, 0));
    EXPECT_TRUE(form->StartButton->isEnabled());
    EXPECT_TRUE(form->StartButton->isDefault());
    EXPECT_FALSE(form->StopButton->isEnabled());
    EXPECT_FALSE(form->StopButton->isDefault());
    EXPECT_TRUE(form->cbxPort->isEnabled() && form->cbxProfiAddr->isEnabled() && form->cbxNumWZMs->isEnabled());
    EXPECT_TRUE(form->Master->CommUnit().Port().Open()) << "Stop leaves the port open";

    PressEnter(form.get());  // Start is the default button again
    EXPECT_EQ(form->Master->CurrentState().State, stStart);
    form->StateChanged(MasterState{stDataExchange, 0, 0, 0});
    EXPECT_FALSE(form->StopButton->isDefault());
    PressEnter(form.get());
    EXPECT_NE(form->Master->CurrentState().State, stIdle) << "once connected Enter no longer stops";
}

TEST_F(WindowTest, AStatusTooLongForItsEditEndsInAnEllipsisAndIsWholeInTheToolTip)
{
    const std::string lost = "Port COM2 (/dev/serial/by-id/usb-adapter-if00-port0) lost, waiting for it";
    TQtStatusEdit(form->edbxCommStatus).ShowStatus(lost, TStatusColour::Maroon());
    const QString shown = form->edbxCommStatus->text();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(form->edbxCommStatus->fontMetrics().horizontalAdvance(shown), form->edbxCommStatus->width());
    EXPECT_EQ(form->edbxCommStatus->toolTip().toStdString(), lost);
}

TEST_F(WindowTest, EnterInAComboBoxOnlyFinishesTheTyping)
{
    form->cbxProfiAddr->setFocus();
    PressEnter(form->cbxProfiAddr->lineEdit());
    EXPECT_EQ(form->Master->CurrentState().State, stIdle);
}

TEST_F(WindowTest, ModuleCountCreatesAndFreesPagesAtTheEnd)
{
    Choose(form->cbxNumWZMs, 0);
    EXPECT_EQ(form->cbxNumWZMs->currentText(), "1") << "no modules means one";
    EXPECT_EQ(form->PageControl1->count(), 1);

    Choose(form->cbxNumWZMs, 3);
    ASSERT_EQ(form->PageControl1->count(), 3);
    EXPECT_EQ(form->PageControl1->tabText(2), "WZM 2");
    EXPECT_EQ(form->Master->ModuleCount(), 3);
    EXPECT_EQ(form->Master->OutputData.size(), 11u);
    form->Pages[2]->edbxGross->setText("old");

    Choose(form->cbxNumWZMs, 2);
    EXPECT_EQ(form->PageControl1->count(), 2);
    EXPECT_EQ(form->Pages[2], nullptr);
    Choose(form->cbxNumWZMs, 3);
    ASSERT_NE(form->Pages[2], nullptr);
    EXPECT_EQ(form->Pages[2]->edbxGross->text(), "") << "a page made again starts fresh";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(form->PageControl1->tabText(i), QString("WZM %1").arg(i));

    TypeAndEnter(form->cbxNumWZMs, "twelve");
    EXPECT_EQ(form->cbxNumWZMs->currentText(), "1");
    EXPECT_EQ(form->PageControl1->count(), 1);
    TypeAndEnter(form->cbxNumWZMs, "4");
    EXPECT_EQ(form->PageControl1->count(), 4);
    EXPECT_EQ(ErrorBoxText(), "");
}

TEST_F(WindowTest, HalfTypedModuleCountChangesNothing)
{
    form->cbxNumWZMs->lineEdit()->setText("5");
    Pump(10);
    EXPECT_EQ(form->PageControl1->count(), 1);
    EXPECT_EQ(form->Master->ModuleCount(), 1);
}

TEST_F(WindowTest, UnitAddressAndModuleTabsSetOutputByteZero)
{
    Choose(form->cbxNumWZMs, 8);
    Choose(form->cbxWZMaddr, 6);
    EXPECT_EQ(form->PageControl1->currentIndex(), 6);
    EXPECT_EQ(Out()[0], 6);
    // Fewer modules: the unit follows to the last one there is, and its tab is marked.
    Choose(form->cbxNumWZMs, 2);
    EXPECT_EQ(form->cbxWZMaddr->count(), 2);
    EXPECT_EQ(form->cbxWZMaddr->currentText(), "1");
    EXPECT_EQ(Out()[0], 1);
    EXPECT_EQ(form->PageControl1->currentIndex(), 1);
    EXPECT_FALSE(form->PageControl1->tabIcon(1).isNull());
    EXPECT_TRUE(form->PageControl1->tabIcon(0).isNull());
    Choose(form->cbxWZMaddr, 0);

    form->PageControl1->setCurrentIndex(1);  // the user clicks tab "WZM 1"
    EXPECT_EQ(form->cbxWZMaddr->currentText(), "1");
    EXPECT_EQ(Out()[0], 1);
    EXPECT_FALSE(form->PageControl1->tabIcon(1).isNull());

    Choose(form->cbxWZMaddr, 0);
    EXPECT_EQ(form->PageControl1->currentIndex(), 0);
    Choose(form->cbxWZMaddr, 1);
    EXPECT_EQ(form->PageControl1->currentIndex(), 1);

    Choose(form->cbxNumWZMs, 3);
    EXPECT_EQ(Out()[0], 1) << "a new module count keeps the command bytes";
    EXPECT_EQ(form->cbxWZMaddr->currentText(), "1");
}

TEST_F(WindowTest, ProfibusAddressTakesOnlyFinishedValidNumbers)
{
    form->cbxProfiAddr->lineEdit()->setText("4");
    EXPECT_EQ(form->Master->SlaveAddress, 3) << "typing alone does nothing";
    emit form->cbxProfiAddr->lineEdit()->editingFinished();
    EXPECT_EQ(form->Master->SlaveAddress, 4);

    TypeAndEnter(form->cbxProfiAddr, "abc");
    EXPECT_EQ(ErrorBoxText(), "'abc' is not a valid integer value");
    EXPECT_EQ(form->Master->SlaveAddress, 4);
    emit form->cbxProfiAddr->lineEdit()->editingFinished();  // leaving the box with the same text
    EXPECT_EQ(ErrorBoxText(), "") << "the same text is not refused twice";

    TypeAndEnter(form->cbxProfiAddr, "127");
    EXPECT_EQ(ErrorBoxText(), "'127' is not a valid PROFIBUS address (0 to 126)");
    TypeAndEnter(form->cbxProfiAddr, "-1");
    EXPECT_EQ(ErrorBoxText(), "'-1' is not a valid PROFIBUS address (0 to 126)");
    EXPECT_EQ(form->Master->SlaveAddress, 4);

    TypeAndEnter(form->cbxProfiAddr, "126");
    EXPECT_EQ(form->Master->SlaveAddress, 126);
    TypeAndEnter(form->cbxProfiAddr, "0");
    EXPECT_EQ(form->Master->SlaveAddress, 0);
}

TEST_F(WindowTest, PortBoxActsOnlyWhenTypingIsFinished)
{
    PtyPair other;
    tree.Link(5, other.path);
    auto& port = form->Master->CommUnit().Port();

    form->cbxPort->lineEdit()->setText("COM");
    Pump(50);
    EXPECT_TRUE(port.Open()) << "a half-typed name does not close the port";
    EXPECT_EQ(port.ComNumber(), 2);

    TypeAndEnter(form->cbxPort, "COM5");
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.ComNumber(), 5);

    TypeAndEnter(form->cbxPort, "COM");
    EXPECT_EQ(ErrorBoxText(), "'' is not a valid integer value");
    EXPECT_FALSE(port.Open());

    form->StartButton->click();
    TypeAndEnter(form->cbxPort, "COM65538");
    Pump(250);  // the master's ticks write: nothing reopens a port behind the box's back
    EXPECT_FALSE(port.Open());
    EXPECT_TRUE(
        form->mMessages->toPlainText().contains("'COM65538' names no port from COM1 to COM255; the port stays closed"));

    Choose(form->cbxPort, 0);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.ComNumber(), 2);
}

TEST(WindowStartUp, WithoutAnyPortTheWindowComesUpAndSaysWhatToDo)
{
    TTempTree tree;
    TVeltCustomComPort::SetDefaultPortPrompt([](int&) {
        ADD_FAILURE() << "no Select Port box with an empty list";
        return false;
    });
    TForm1 form;
    EXPECT_EQ(WaitForBox(form, "NoPortBox", 0), nullptr) << "nothing opens before the window is up";
    EXPECT_FALSE(form.Master->CommUnit().Port().Open());
    EXPECT_NE(form.Pages[0], nullptr);
    EXPECT_NE(form.Functions, nullptr);
    EXPECT_EQ(form.Parameters->SheetCount, 4);
    EXPECT_EQ(form.cbxNumWZMs->count(), 9);
    EXPECT_EQ(form.Master->SlaveAddress, 3);

    QMessageBox* box = WaitForBox(form, "NoPortBox", 2000);
    ASSERT_NE(box, nullptr);
    for (const char* hint : {"adapter", "dialout", "quorvel-slave"}) EXPECT_TRUE(box->text().contains(hint)) << hint;
    EXPECT_EQ(box->defaultButton()->text(), "&Look again");
    box->close();

    // Start and quitting with the port box empty: the same advice, the remembered port kept.
    form.StartButton->click();
    ASSERT_NE(WaitForBox(form, "NoPortBox", 0), nullptr);
    EXPECT_EQ(form.Master->CurrentState().State, stIdle);
    TempFolder settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(settings.str()));
    QCoreApplication::setOrganizationName("Quorvel");  // without one QSettings writes nothing
    QSettings remembered("Quorvel", TForm1::SettingsName);
    remembered.setValue("port", "COM4");
    form.SaveSettings();
    remembered.sync();
    EXPECT_EQ(remembered.value("port").toString(), "COM4");

    // "Look again" opens a port that has come meanwhile.
    PtyPair first;
    tree.Link(2, first.path);
    WaitForBox(form, "NoPortBox", 0)->defaultButton()->click();
    ASSERT_TRUE(WaitFor([&] { return form.Master->CommUnit().Port().Open(); }, 2000));
    EXPECT_EQ(form.cbxPort->currentText(), "COM2");

    // A typed port that does not open says why with its path.
    TypeAndEnter(form.cbxPort, "COM3");
    ErrorBoxText();
    form.StartButton->click();
    EXPECT_TRUE(
        ErrorBoxText().contains(QString::fromStdString((tree.Work().parent_path() / "ports" / "COM3").string())));
    EXPECT_TRUE(form.StartButton->isEnabled());
    EXPECT_FALSE(form.StopButton->isEnabled());
    EXPECT_EQ(form.Master->CurrentState().State, stIdle);

    // A port that appears later is opened by Start, and the link runs.
    PtyPair line;
    tree.Link(3, line.path);
    form.StartButton->click();
    EXPECT_TRUE(form.Master->CommUnit().Port().Open());
    EXPECT_TRUE(WaitFor([&] { return ReadFarText(line, 0ms, 0ms).find("\xFE\xFF\x01") != std::string::npos; }, 1000));
    EXPECT_EQ(ErrorBoxText(), "");
}

TEST(WindowStartUp, WithoutConfigurationTheWindowRunsWithoutParameterPages)
{
    TTempTree tree(false);
    PtyPair line;
    tree.Link(2, line.path);
    TForm1 form;
    EXPECT_EQ(ErrorBoxText(), "") << "the box waits until the window is up";
    EXPECT_TRUE(WaitFor([&] { return ErrorBoxText(false).contains("Quorvel.conf not found"); }, 1000));
    ErrorBoxText();
    ASSERT_NE(form.Parameters, nullptr);
    EXPECT_EQ(form.Parameters->SheetCount, 0);
    EXPECT_TRUE(form.Master->CommUnit().Port().Open());
    form.StartButton->click();
    EXPECT_TRUE(WaitFor([&] { return ReadFarText(line, 0ms, 0ms).find("\xFE\xFF\x01") != std::string::npos; }, 1000));
}

TEST_F(WindowTest, EnterInAParameterCellIsItsSetNotStart)
{
    form->show();
    form->activateWindow();
    form->pcParams->setCurrentIndex(2);
    TFillCell* cell = form->Parameters->Sheet(2)->Item(2);
    cell->Edit->setFocus();
    cell->Edit->clear();
    for (const char c : std::string("100")) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_0 + (c - '0'), Qt::NoModifier, QString(QChar(c)));
        QApplication::sendEvent(cell->Edit, &key);
    }
    PressEnter(cell->Edit);
    EXPECT_EQ(form->Master->CurrentState().State, stIdle) << "Start is not clicked";
    EXPECT_EQ(HexDump(Out().Mid(2, 6)), " 06 82 00 00 00 64");
}

// Status bar, menus, saved messages, a port list that follows the port
// folder, resizing and closing while connected.
TEST_F(WindowTest, FrameShowsTheLinkAndKeepsTheUsersWork)
{
    EXPECT_TRUE(form->lbStatusPort->text().contains("COM2 = " + QString::fromStdString(line.path)));
    EXPECT_EQ(form->lbStatusAddress->text(), "Slave address: 3");
    Choose(form->cbxNumWZMs, 4);
    EXPECT_EQ(form->lbStatusModules->text(), "Modules: 4");
    form->StateChanged(MasterState{stDataExchange, 0, 0, 0});
    EXPECT_EQ(form->lbStatusLink->text(), "Link: Connected");

    QStringList items;
    for (const QAction* a : form->FileMenu->actions())
        if (!a->isSeparator()) items << a->text();
    EXPECT_EQ(items, QStringList({"&Save messages...", "&Record trace...", "&Quit"}));
    form->ShowAbout();
    const QString about = ErrorBoxText();
    EXPECT_TRUE(about.contains("Quorvel 0.") && about.contains(QString("Qt ") + qVersion())) << about.toStdString();

    form->AddMessage("first");
    form->AddMessage("second");
    const std::string saved = (tree.Work() / "messages.txt").string();
    form->SaveMessages(QString::fromStdString(saved));
    std::ifstream in(saved);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("  first\n"), std::string::npos);
    EXPECT_EQ(text.substr(4, 1) + text.substr(13, 1), "-:") << "each line starts with its time: " << text;
    EXPECT_EQ(LastLine(form->mMessages), "Messages saved to " + QString::fromStdString(saved));
    EXPECT_THROW(form->SaveMessages("/nonexistent/dir/m.txt"), std::exception);

    PtyPair other;
    tree.Link(7, other.path);
    form->RefreshPortList();
    EXPECT_GE(form->cbxPort->findText("COM7"), 0) << "a link made after start is listed";
    EXPECT_EQ(form->cbxPort->currentText(), "COM2");
    EXPECT_TRUE(form->Master->CommUnit().Port().Open());

    form->show();
    const int memoWidth = form->mMessages->width();
    const int dumpWidth = form->edbxSentData->width();
    form->resize(form->width() + 200, form->height() + 90);
    Pump(20);
    EXPECT_EQ(form->mMessages->width(), memoWidth + 100);
    EXPECT_EQ(form->edbxSentData->width(), dumpWidth + 200);
    form->resize(100, 100);
    Pump(20);
    EXPECT_GE(form->edbxSentData->width(), dumpWidth) << "no smaller than the starting layout";

    form->StartButton->click();
    form->close();
    EXPECT_EQ(form->Master->CurrentState().State, stIdle) << "closing stops the link first";
}

TEST_F(WindowTest, FastCycleBoxSwitchesTheMaster)
{
    EXPECT_FALSE(form->cbFastCycle->isChecked());
    EXPECT_FALSE(form->Master->FastCycle());
    form->cbFastCycle->click();
    EXPECT_TRUE(form->Master->FastCycle());
    form->cbFastCycle->click();
    EXPECT_FALSE(form->Master->FastCycle());
}

// The menu item's slot with a file name: the telegrams of a start-up land in
// a pcapng file, and closing the window ends the recording.
TEST_F(WindowTest, RecordsTheLinksTelegramsUntilTheWindowCloses)
{
    TTraceControl& trace = *form->Trace();
    EXPECT_THROW(trace.Start("/nonexistent/dir/t.pcapng"), std::exception);
    EXPECT_FALSE(trace.Recording());

    const std::string file = (tree.Work() / "t.pcapng").string();
    trace.Start(QString::fromStdString(file));
    EXPECT_EQ(form->RecordTraceAction->text(), "Stop &recording");
    EXPECT_FALSE(form->Trace()->StatusLabel()->isHidden()) << "the status bar shows the recording";
    EXPECT_TRUE(LastLine(form->mMessages).contains(QString::fromStdString(file)));
    form->StartButton->click();
    ASSERT_TRUE(WaitFor([&] { return ReadFarText(line, 0ms, 0ms).find("\xFE\xFF\x01") != std::string::npos; }, 3000));
    form->close();

    EXPECT_FALSE(trace.Recording());
    EXPECT_EQ(form->RecordTraceAction->text(), "&Record trace...");
    EXPECT_TRUE(form->Trace()->StatusLabel()->isHidden());
    EXPECT_EQ(LastLine(form->mMessages), "Trace recording stopped; the trace is in " + QString::fromStdString(file));
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x0A\x0D\x0D\x0A")) << "a pcapng section header";
    EXPECT_NE(bytes.find("start sequence"), std::string::npos) << "the start-up's telegrams were recorded";
}

TEST_F(WindowTest, MemoIsReadOnlyTabLeavesItAndTheLinkButtonsHaveMnemonics)
{
    form->show();
    form->mMessages->setFocus();
    const QString before = form->mMessages->toPlainText();
    for (const auto& [key, text] : {std::pair{Qt::Key_X, "x"}, std::pair{Qt::Key_Tab, "\t"}}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString::fromLatin1(text));
        QApplication::sendEvent(form->mMessages, &press);
    }
    EXPECT_EQ(form->mMessages->toPlainText(), before) << "typing does not reach the log";
    EXPECT_NE(form->focusWidget(), form->mMessages) << "Tab leaves the memo";

    QStringList keys;
    for (const QPushButton* button :
         {form->StartButton, form->StopButton, form->FindStationsButton, form->DiagnosisButton}) {
        const int amp = button->text().indexOf('&');
        ASSERT_GE(amp, 0) << button->text().toStdString();
        keys << button->text().mid(amp + 1, 1).toLower();
    }
    EXPECT_EQ(keys.removeDuplicates(), 0);
}

TEST_F(WindowTest, SmallerWindowScrollsItsControlsAndOldSettingsMoveOnceIntoTheirOwnFile)
{
    form->show();
    form->resize(700, 500);
    Pump(10);
    EXPECT_EQ(form->size(), QSize(700, 500));
    EXPECT_TRUE(form->findChild<QScrollArea*>("BodyScroll")->horizontalScrollBar()->isVisible());

    TempFolder folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder.str()));
    QCoreApplication::setOrganizationName("Quorvel");  // without one QSettings writes nothing
    QString oldFile;
    {
        QSettings old(QCoreApplication::organizationName(), QCoreApplication::applicationName());
        old.setValue("slaveAddress", "7");
        old.setValue("modules", 3);
        old.setValue("adapterAllowance", 40);
        oldFile = old.fileName();
    }
    form->RestoreSettings();
    EXPECT_EQ(form->Master->SlaveAddress, 7);
    EXPECT_EQ(form->Master->ModuleCount(), 3);
    EXPECT_EQ(form->Master->CommUnit().AdapterAllowance(), 40);
    EXPECT_EQ(form->findChild<QAction*>("actAdapterAllowance")->text(), "&Adapter allowance (40 ms)...");
    EXPECT_FALSE(std::filesystem::exists(oldFile.toStdString()));
    EXPECT_EQ(QSettings(QCoreApplication::organizationName(), TForm1::SettingsName).value("modules").toInt(), 3);
}

// A place remembered on a larger or differently scaled screen comes back
// wholly on this one.
TEST_F(WindowTest, RememberedPlaceOffTheScreenComesBackWhollyOnIt)
{
    TempFolder folder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder.str()));
    QCoreApplication::setOrganizationName("Quorvel");
    form->show();
    const QRect area = form->screen()->availableGeometry();
    form->setGeometry(area.left() - 600, area.top() + 100, area.width() + 300, area.height() + 200);
    form->SaveSettings();
    form->RestoreSettings();
    KeepWithinScreen(*form);
    EXPECT_TRUE(area.contains(form->frameGeometry()));
}

// Every menu item is in the manual page, and Help -> Quick start opens over the window.
TEST_F(WindowTest, ManualPageNamesEveryMenuItem)
{
    std::ifstream in(QUORVEL_MAN_PAGE);
    QString page = QString::fromStdString(std::string((std::istreambuf_iterator<char>(in)), {}));
    page.remove(QRegularExpression(R"(\\f[BIR])")).replace(QStringLiteral("\\-"), QStringLiteral("-"));
    ASSERT_TRUE(page.contains(".SH THE WINDOW"));
    int items = 0;
    QStringList menus;
    for (const QAction* menu : form->MenuBar->actions()) {
        menus << menu->text();
        for (QAction* item : menu->menu()->actions()) {
            if (item->isSeparator()) continue;
            QString name = item->text().remove('&').remove(QStringLiteral("...")).trimmed();
            name.remove(QRegularExpression(R"( \(.*\)$)"));  // "Adapter allowance (20 ms)"
            EXPECT_TRUE(page.contains(name)) << name.toStdString();
            ++items;
            if (name == "Quick start") item->trigger();
        }
    }
    EXPECT_GT(items, 8);
    EXPECT_EQ(menus.join(' '), "&File &View &Module &Line &Help");
    const auto* box = form->findChild<QWidget*>("QuickStartBox");
    ASSERT_TRUE(box && box->isVisible());
    form->ShowAbout();  // a problem report names the version and the commit
    const auto* about = form->findChild<QMessageBox*>("aboutBox");
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->text().contains(QRegularExpression("Commit: [0-9a-f]{12}"))) << about->text().toStdString();
}

// The window's own windows open over it, within the screen.
TEST_F(WindowTest, PlotOverviewAndStatisticsOpenCentredOnTheWindow)
{
    form->setGeometry(40, 40, 640, 480);
    form->show();
    form->View()->OpenWeightPlot();
    ExpectCentredOn(*form->View()->WeightPlot(), *form);
    form->View()->OpenModulesOverview();
    ExpectCentredOn(*form->View()->ModulesOverview(), *form);
    form->Line()->OpenStatistics();
    ExpectCentredOn(*form->Line()->Statistics(), *form);
}

// Eight modules' tabs are all in sight at once; a few keep "WZM n".
TEST_F(WindowTest, EveryModuleTabIsInSightAtOnce)
{
    form->show();
    Choose(form->cbxNumWZMs, 8);
    Pump(1);
    const QTabBar* bar = form->PageControl1->tabBar();
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(bar->rect().contains(bar->tabRect(i))) << "tab " << i;
    EXPECT_EQ(form->PageControl1->tabToolTip(7), "WZM 7");
    EXPECT_EQ(form->Pages[7]->TabSheet->findChild<QLabel*>("lbModuleName")->text(), "WZM 7 (unit address 7)");
    Choose(form->cbxNumWZMs, 2);
    EXPECT_EQ(form->PageControl1->tabText(1), "WZM 1");
}

// Alt and a label's letter reach its box; no letter is taken twice.
TEST_F(WindowTest, LabelsLeadTheKeyboardToTheirBoxes)
{
    const std::pair<QLabel*, QWidget*> pairs[] = {{form->lbPort, form->cbxPort},
                                                  {form->lbProfiAddr, form->cbxProfiAddr},
                                                  {form->lbNumWZMs, form->cbxNumWZMs},
                                                  {form->lbWZMaddr, form->cbxWZMaddr}};
    for (const auto& [label, box] : pairs) EXPECT_EQ(label->buddy(), box) << label->text().toStdString();
    QStringList keys;
    const auto take = [&](const QString& text) {
        if (const int at = text.indexOf('&'); at >= 0 && at + 1 < text.size()) keys << text.mid(at + 1, 1).toUpper();
    };
    for (const QAction* menu : form->MenuBar->actions()) take(menu->text());
    for (const QLabel* label : form->findChildren<QLabel*>()) take(label->text());
    for (const QAbstractButton* button : form->gbComm->findChildren<QAbstractButton*>()) take(button->text());
    EXPECT_EQ(keys.size(), QSet<QString>(keys.begin(), keys.end()).size()) << keys.join(' ').toStdString();
}

// At 640 x 480 the status bar keeps every field inside the window.
TEST_F(WindowTest, StatusBarStaysWholeAtVgaSize)
{
    TempFolder folder;
    form->Trace()->Start(QString::fromStdString(folder.str() + "/t.pcapng"));
    form->Line()->CountersLabel()->setText(QStringLiteral("lost 123456 (60/min)  bad 123456 (60/min)  ok 1234567"));
    form->resize(640, 480);
    form->show();
    Pump(1);
    EXPECT_EQ(form->width(), 640);
    for (const QLabel* label : form->StatusBar->findChildren<QLabel*>()) {
        if (!label->isVisible()) continue;
        EXPECT_TRUE(form->StatusBar->rect().contains(label->geometry())) << label->text().toStdString();
        EXPECT_GE(label->width(), label->minimumSizeHint().width()) << label->text().toStdString();
    }
}
