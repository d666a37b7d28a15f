// Start-up of the main window, its controls' handlers and its destruction.
#include "MainForm.h"

#include "BackupControl.h"
#include "ErrorBox.h"
#include "FormWidgets.h"
#include "LineControl.h"
#include "core/SlaveAddress.h"
#include "StationsControl.h"
#include "WZMdata.h"
#include "dp/Profi_dp.h"
#include "module/FillCell.h"
#include "module/FunctionButton.h"
#include "module/Parameters.h"
#include "serial/PortDirectory.h"
#include "serial/VeltExcept.h"
#include "serial/VeltPort.h"
#include "TraceControl.h"
#include "ViewControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr int CreatedPageSlots = 14;  // slots that the module count adds or frees
const TStatusColour Maroon{false, 128, 0, 0};

// Changes of the module page control made by the program itself are not
// the user picking a tab.
class TMute {
public:
    explicit TMute(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~TMute() { flag_ = old_; }

private:
    bool& flag_;
    bool old_;
};

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent)
{
    errorbox::SetOwner(this);
    errorbox::HoldWhileBuilding(true);
    BuildLayout();
    resultTimer_ = new QTimer(this);
    resultTimer_->setSingleShot(true);
    resultTimer_->setInterval(ResultTimeoutMs);
    FormCreate();
    ConnectControls();
    errorbox::HoldWhileBuilding(false);
}

void TForm1::FormCreate()
{
    // The master, with its serial channel paced by a GUI timer that also runs
    // the port component's queued notifications.
    Master = std::make_unique<T_DPV0>(nullptr, std::make_unique<TQtPollTimer>([this] {
                                          if (Master) Master->CommUnit().Port().RunPendingNotifications();
                                      }));
    // A notification queued by the port's threads is run at once (fast cycle
    // takes an answer the moment it is complete), not only at the next poll.
    TVeltCustomComPort::SetOnNotificationQueued([] {
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [] { TVeltCustomComPort::RunPendingNotifications(); }, Qt::QueuedConnection);
    });
    Master->SetOnStateChange([this](const MasterState& state) { StateChanged(state); });
    Master->SetOnStatusText([this](const std::string& text) { ShowStatusText(text); });

    portChooser_ = std::make_unique<TQtPortChooser>(cbxPort);
    ScanPortsAtStart();

    Master->SetOnReceive([this](const TByteString& telegram) { ReceiveTelegram(telegram); });
    statusEdit_ = std::make_unique<TQtStatusEdit>(edbxCommStatus);
    Master->SetStatusEdit(statusEdit_.get());
    statusEdit_->ShowStatus("Not Connected", Maroon);  // the present state from the start
    errorbox::Guard([this] { Master->SlaveAddress = ParseSlaveAddress(cbxProfiAddr->currentText().toStdString()); });
    Master->SetOnSend([this](const TByteString& telegram) { TelegramSent(telegram); });
    decimals_.fill(3);  // until a module reports its DP
    line_ = std::make_unique<TLineControl>(*Master, MenuBar, HelpMenu->menuAction(), StatusBar, this);
    view_ = std::make_unique<TViewControl>(
        PageControl1, PageSlots,
        TViewControl::THooks{[this] { return Master->ModuleCount(); }, [this] { return Master->SlaveAddress; }}, this);
    stations_ = std::make_unique<TStationsControl>(
        *Master, this,
        TStationsControl::THooks{[this](int address) {
                                     cbxProfiAddr->setEditText(QString::number(address));
                                     cbxProfiAddrChange();
                                 },
                                 [this](int modules) { SetModuleCountFromCode(modules); },
                                 [this] {
                                     if (StopButton->isEnabled()) StopButtonClick();
                                 },
                                 [this](const QString& line) { AddMessage(line); }});
    Master->SetOnDiagnosis([this](const diag::TDiagnosis& d) { stations_->DiagnosisReceived(d); });
    // The offer waits until the master's step is over.
    Master->SetOnSilentStation(
        [this](int address) { QTimer::singleShot(0, this, [this, address] { stations_->OfferFind(address); }); });
    Master->SetOnConfigRefused(
        [this](int modules) { QTimer::singleShot(0, this, [this, modules] { OfferSlaveModuleCount(modules); }); });

    QStringList confMessages;
    errorbox::Guard(
        [&] { Parameters = new TParameters(pcParams, [&](const QString& text) { confMessages << text; }); });
    if (Parameters && !Parameters->FileName.isEmpty()) {
        for (const QString& line : confMessages) AddMessage(line);
    } else if (!confMessages.isEmpty()) {
        errorbox::Show(confMessages.join(QLatin1Char('\n')));
    }
    if (Parameters) {
        for (const QPointer<TParamSheet>& sheet : Parameters->Sheets) {
            if (!sheet) continue;
            sheet->SetOnSetValue([this](TFillCell* cell) { errorbox::Guard([&] { WriteParameter(cell); }); });
            const int index = sheet->ReadButton->Tag;
            connect(sheet->ReadButton, &QPushButton::clicked, this,
                    [this, index] { errorbox::Guard([&] { ReadParameters(index); }); });
        }
    }

    backup_ = std::make_unique<TBackupControl>(
        *Master, this,
        TBackupControl::THooks{[this](std::uint8_t unit, const TByteString& command) { QueueCommand(unit, command); },
                               [this](std::uint8_t unit, const TByteString& command) { Channel.Drop(unit, command); },
                               [this] { return SelectedModule(); }, [this](const QString& line) { AddMessage(line); }},
        Parameters);
    ConnectResultConsumers();
    trace_ =
        std::make_unique<TTraceControl>(*Master, RecordTraceAction, StatusBar,
                                        TTraceControl::THooks{[this](const QString& line) { AddMessage(line); }}, this);

    Functions = new TFunctions(bgWZMfunctions);
    Functions->SetOnFunctionClick([this](TFnButton* button) { errorbox::Guard([&] { FunctionClick(button); }); });

    {
        TMute mute(pageChangeFromCode_);
        Pages[0] = MakePage(0);
        PageControl1->setCurrentIndex(0);
    }

    ListUnits(1);
    MarkCommandedPage();
    FitModuleTabs();
    cbxNumWZMs->clear();
    for (int i = 0; i <= 8; ++i) cbxNumWZMs->addItem(QString::number(i));
    cbxNumWZMs->setCurrentIndex(1);
}

// No port opened at start-up: nothing polls yet. The user's choice in the
// port box then opens that port and starts the link's polling.
void TForm1::OpenPortLater()
{
    portChooser_->SetOnChange([this] { Master->CommUnit().OpenAndPoll(TCommUnit::ComNumberOf(portChooser_->Text())); });
}

void TForm1::ConnectControls()
{
    connect(StartButton, &QPushButton::clicked, this, [this] { errorbox::Guard([this] { StartButtonClick(); }); });
    connect(StopButton, &QPushButton::clicked, this, [this] { errorbox::Guard([this] { StopButtonClick(); }); });
    connect(FindStationsButton, &QPushButton::clicked, this,
            [this] { errorbox::Guard([this] { stations_->FindClick(); }); });
    connect(DiagnosisButton, &QPushButton::clicked, this,
            [this] { errorbox::Guard([this] { stations_->DiagnosisClick(); }); });
    profiAddrCommit_ = std::make_unique<TComboCommit>(cbxProfiAddr, [this] { cbxProfiAddrChange(); });
    numWZMsCommit_ = std::make_unique<TComboCommit>(cbxNumWZMs, [this] { cbxNumWZMsChange(); });
    wzmAddrCommit_ = std::make_unique<TComboCommit>(cbxWZMaddr, [this] { cbxWZMaddrChange(); });
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (!pageChangeFromCode_) errorbox::Guard([this] { PageControl1Change(); });
    });
    // The strip's arrows (which scroll it first) take the page along when
    // its tab leaves the view: the page shown always has its tab in sight.
    QTabBar* bar = PageControl1->tabBar();
    for (QToolButton* arrow : bar->findChildren<QToolButton*>()) {
        const bool right = arrow->arrowType() != Qt::LeftArrow;
        connect(arrow, &QToolButton::clicked, this, [this, bar, right] {
            const auto inView = [bar](int i) { return bar->rect().contains(bar->tabRect(i)); };
            if (inView(PageControl1->currentIndex())) return;
            for (int i = right ? 0 : bar->count() - 1; i >= 0 && i < bar->count(); i += right ? 1 : -1)
                if (inView(i)) {
                    PageControl1->setCurrentIndex(i);
                    return;
                }
        });
    }
    connect(cbFastCycle, &QCheckBox::toggled, this, [this](bool on) { Master->SetFastCycle(on); });
    connect(resultTimer_, &QTimer::timeout, this, [this] { errorbox::Guard([this] { GiveUpCommand(); }); });
    StartButton->setDefault(true);
    StopButton->setEnabled(false);
    connect(cbxPort, &QComboBox::currentTextChanged, this, [this] { UpdateStatusBar(); });
    if (auto* portBox = dynamic_cast<TPopupCombo*>(cbxPort))
        portBox->SetOnPopup([this] { errorbox::Guard([this] { RefreshPortList(); }); });
    UpdateStatusBar();
}

TForm1::~TForm1()
{
    resultTimer_->stop();
    pageChangeFromCode_ = true;
    Channel.Clear();
    // A scan still running hands the channel back to the master: before it goes.
    stations_.reset();
    trace_.reset();  // writes out what is buffered
    Master.reset();  // frees the serial channel, which closes the port
    statusEdit_.reset();
    delete Parameters;
    Parameters = nullptr;
    delete Functions;
    Functions = nullptr;
    for (TWZMdata*& page : Pages) {
        delete page;
        page = nullptr;
    }
}

TWZMdata* TForm1::MakePage(int slot)
{
    TMute mute(pageChangeFromCode_);
    auto* page = new TWZMdata(PageControl1);
    PageControl1->setTabText(PageControl1->indexOf(page->TabSheet), QStringLiteral("WZM %1").arg(slot));
    // The page names its module: the tab strip may have scrolled away.
    auto* name = new QLabel(QStringLiteral("WZM %1 (unit address %1)").arg(slot), page->TabSheet);
    name->setObjectName(QStringLiteral("lbModuleName"));
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    name->move(24, 0);
    page->SetLive(inDataExchange_);
    return page;
}

void TForm1::SetActivePage(int index)
{
    TMute mute(pageChangeFromCode_);
    PageControl1->setCurrentIndex(index);
}

bool TForm1::EnsurePortOpen()
{
    TCommUnit& unit = Master->CommUnit();
    if (unit.Port().Open() || unit.DeviceLost()) return true;  // a lost device is reopened by the polls
    if (cbxPort->currentText().trimmed().isEmpty()) {
        RefreshPortList();
        if (cbxPort->count() == 0) {
            OfferPortRefresh();
            return false;
        }
        cbxPort->setCurrentIndex(0);
    }
    const std::string text = cbxPort->currentText().trimmed().toStdString();
    std::uint16_t number = 0;
    try {
        number = TCommUnit::ComNumberOf(text);
    } catch (const std::exception&) {
        throw std::runtime_error("Cannot start: \"" + text + "\" is no serial port. Choose one from the PORT box.");
    }
    try {
        unit.OpenAndPoll(number);
    } catch (const std::exception& e) {
        UpdateStatusBar();
        throw std::runtime_error("Cannot start: " + text + " (" + portdir::LinkPath(number) +
                                 ") does not open: " + e.what());
    }
    return true;
}

void TForm1::StartButtonClick()
{
    stations_->EndScan();  // a running scan gives the channel back
    if (!stations_->WarnOfOtherMaster([this] { StartLink(); })) StartLink();
}

void TForm1::StartLink()
{
    // The link stays stopped when the port cannot be opened.
    if (!EnsurePortOpen()) return;
    StartButton->setDefault(false);
    StartButton->setEnabled(false);
    StopButton->setEnabled(true);
    StopButton->setDefault(true);
    cbxPort->setEnabled(false);
    cbxNumWZMs->setEnabled(false);
    FindStationsButton->setEnabled(false);  // the live list runs only while stopped
    CloseStaleOffer();
    offeredCount_ = 0;       // each Start may offer the slave's count once
    line_->ResetCounters();  // the counters tell of this run
    Master->CommUnit().ClearBuffer();
    Master->StartMaster();
}

void TForm1::StopButtonClick()
{
    StopButton->setDefault(false);
    StopButton->setEnabled(false);
    StartButton->setEnabled(true);
    StartButton->setDefault(true);
    cbxProfiAddr->setEnabled(true);
    cbxPort->setEnabled(true);
    cbxNumWZMs->setEnabled(true);
    FindStationsButton->setEnabled(true);
    CloseStaleOffer();
    Master->StopMaster();
    statusEdit_->ShowStatus("Not Connected", Maroon);
    AddMessage(QStringLiteral("Stopped"));
    StateChanged(MasterState{stIdle, 0, 0, 0});
}

void TForm1::SelectUnitByte()
{
    if (Channel.Free(Master->OutputData))
        Master->OutputData[cyclic::OutUnit] = static_cast<std::uint8_t>(cbxWZMaddr->currentIndex());
}

void TForm1::cbxProfiAddrChange()
{
    const int address = ParseSlaveAddress(cbxProfiAddr->currentText().toStdString());
    const bool newStation = address != Master->SlaveAddress;
    Master->SlaveAddress = address;
    if (newStation) {
        AddMessage(QStringLiteral("Slave address: %1").arg(address));
        CloseStaleOffer();
        offeredCount_ = 0;  // another slave
        view_->NewHistory();
    }
    Master->ClearHeldStatus();
    // A running link starts up anew at the new address at once.
    if (Master->CurrentState().State != stIdle) Master->StartMaster();
    UpdateStatusBar();
}

void TForm1::cbxWZMaddrChange()
{
    const int unit = cbxWZMaddr->currentIndex();
    SelectUnitByte();
    SetActivePage(unit < PageControl1->count() ? unit : 0);
    MarkCommandedPage();
}

void TForm1::PageControl1Change()
{
    cbxWZMaddr->setCurrentIndex(PageControl1->currentIndex());
    SelectUnitByte();
    MarkCommandedPage();
}

void TForm1::ListUnits(int count)
{
    // Commands go only to a module that is there: a unit beyond the new
    // count moves to the last module.
    const int unit = std::clamp(cbxWZMaddr->currentIndex(), 0, count - 1);
    if (cbxWZMaddr->count() != count) {
        const QSignalBlocker block(cbxWZMaddr);
        cbxWZMaddr->clear();
        for (int i = 0; i < count; ++i) cbxWZMaddr->addItem(QString::number(i));
    }
    cbxWZMaddr->setCurrentIndex(unit);
}

void TForm1::MarkCommandedPage()
{
    const int unit = cbxWZMaddr->currentIndex();
    for (int k = 0; k < PageSlots; ++k) {
        const TWZMdata* page = Pages[static_cast<std::size_t>(k)];
        if (!page || !page->TabSheet) continue;
        const int index = PageControl1->indexOf(page->TabSheet);
        const bool commanded = k == unit;
        PageControl1->setTabIcon(index, commanded ? style()->standardIcon(QStyle::SP_ArrowRight) : QIcon());
        PageControl1->setTabToolTip(index, commanded ? QStringLiteral("WZM %1: commands go to this module").arg(k)
                                                     : QStringLiteral("WZM %1").arg(k));
    }
}

void TForm1::FitModuleTabs()
{
    // Every module's tab in sight at once: where "WZM n" does not fit the
    // strip for all of them, the tabs show the number alone (the page and
    // the tool tip name the module).
    QTabBar* bar = PageControl1->tabBar();
    for (const bool shortCaptions : {false, true}) {
        for (int i = 0; i < PageControl1->count(); ++i)
            PageControl1->setTabText(i, shortCaptions ? QString::number(i) : QStringLiteral("WZM %1").arg(i));
        // Short tabs keep a width that is easy to hit.
        PageControl1->setStyleSheet(shortCaptions
                                        ? QStringLiteral("QTabBar::tab { padding: 3px 5px; min-width: 20px; }")
                                        : QStringLiteral("QTabBar::tab { padding: 3px 5px; }"));
        if (bar->sizeHint().width() <= PageControl1->width()) return;
    }
}

void TForm1::cbxNumWZMsChange()
{
    // A typed text counts as the item it names; one that names none, like
    // "0", means one module.
    int count = cbxNumWZMs->findText(cbxNumWZMs->currentText().trimmed());
    if (count < 1) count = 1;
    cbxNumWZMs->setCurrentIndex(count);
    numWZMsCommit_->Acknowledge(cbxNumWZMs->currentText());

    const int countBefore = Master->ModuleCount();
    if (count != countBefore) {
        AddMessage(QStringLiteral("WZM count: %1").arg(count));
        CloseStaleOffer();
    }

    TMute mute(pageChangeFromCode_);
    for (int slot = 0; slot < CreatedPageSlots; ++slot) {
        if (slot < count && !Pages[slot]) {
            Pages[slot] = MakePage(slot);
        } else if (slot >= count && Pages[slot]) {
            delete Pages[slot];
            Pages[slot] = nullptr;
        }
    }
    // The output data is made anew for the count; the command bytes (and a
    // command placed there) carry over.
    const TByteString kept = Master->OutputData.Mid(0, cyclic::OutValue + 4);
    Master->SetModuleCount(count);
    Master->ClearHeldStatus();
    for (std::size_t i = 0; i < kept.size() && i < Master->OutputData.size(); ++i) Master->OutputData[i] = kept[i];
    ListUnits(count);
    cbxWZMaddrChange();
    FitModuleTabs();
    view_->SetModuleCount(count);
    if (count != countBefore) view_->NewHistory();
    UpdateStatusBar();
}

void TForm1::StateChanged(const MasterState& state)
{
    const bool wasInDataExchange = inDataExchange_;
    inDataExchange_ = state.State == stDataExchange;
    if (wasInDataExchange && !inDataExchange_) {
        // The wait for a result counts only in data exchange; values stop.
        resultTimer_->stop();
        resultWait_.Stop();
        ShowPagesStale();
        if (state.State == stIdle)
            view_->MarkStop();  // only Stop leaves the link idle
        else
            view_->MarkLinkLost();
    }
    if (inDataExchange_) {
        notConnectedSaid_ = false;
        CloseStaleOffer();  // the slave took the configuration
    }
    // Sub-steps change twice a cycle; the status bar (which looks up the
    // port's device) is redrawn only when the link's text changes.
    const QString linkBefore = linkText_;
    switch (state.State) {
    case stIdle: linkText_ = QStringLiteral("Stopped"); break;
    case stStart:
    case stConnecting: linkText_ = QStringLiteral("Connecting"); break;
    case stDataExchange: linkText_ = QStringLiteral("Connected"); break;
    default: linkText_ = QStringLiteral("Starting up"); break;
    }
    if (linkText_ != linkBefore) UpdateStatusBar();
    if (Channel.NoteMasterState(state.State)) GiveUpCommand();
    if (state.State == stDataExchange && StopButton->isDefault()) StopButton->setDefault(false);
}

void TForm1::ShowStatusText(const std::string& text)
{
    AddMessage(QString::fromStdString(text));
    // A port that came back while stopped: the status says the link's state.
    const bool wasLost = portLost_;
    portLost_ = Master->CommUnit().DeviceLost();
    if (wasLost && !portLost_ && Master->CurrentState().State == stIdle)
        statusEdit_->ShowStatus("Not Connected", Maroon);
    UpdateStatusBar();  // a lost or returned port shows there too
}

void TForm1::AddMessage(const QString& line)
{
    // A line that repeats the last one is counted on it, not added again.
    if (line == lastMessage_ && !messageLog_.empty()) {
        const QString folded = QStringLiteral("%1 (\u00d7%2)").arg(line).arg(++repeats_);
        QTextCursor cursor(mMessages->document()->lastBlock());
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(folded);
        messageLog_.back() = {QDateTime::currentDateTime(), folded};
        return;
    }
    lastMessage_ = line;
    repeats_ = 1;
    mMessages->appendPlainText(line);
    messageLog_.emplace_back(QDateTime::currentDateTime(), line);
    if (messageLog_.size() > static_cast<std::size_t>(MessageLines)) messageLog_.pop_front();
}

void TForm1::SetResultTimeout(int milliseconds) { resultTimer_->setInterval(milliseconds); }

void TForm1::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Enter in an editable combo box finishes the typing there and no more.
    const QWidget* focus = focusWidget();
    for (const QComboBox* combo : {cbxPort, cbxProfiAddr, cbxNumWZMs})
        if (focus && (focus == combo || combo->isAncestorOf(focus))) return;
    // Enter in a parameter cell is that cell's Set, never Start or Stop.
    if (focus && pcParams->isAncestorOf(focus)) {
        if (TFillCell* cell = Parameters ? Parameters->CellOfEdit(focus) : nullptr)
            if (cell->SetButton && cell->SetButton->isEnabled()) cell->SetButton->click();
        return;
    }
    for (QPushButton* button : {StartButton, StopButton}) {
        if (button->isDefault() && button->isEnabled()) {
            button->click();
            return;
        }
    }
}
