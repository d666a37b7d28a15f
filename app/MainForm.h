// The main window: the link controls (Start, Stop, port, PROFIBUS address,
// state), one process-data page per module, the command channel's edits,
// the function keys, the parameter pages and the dumps of the last telegram
// received and sent. It owns the DP master, the parameter sheets, the
// function panel, the module pages and the command queue.
// What it offers beyond these (the telegram trace, Find stations and
// Diagnosis, parameter backup and restore, the weight plot and the modules
// overview, the Line menu and bus counters) are controllers that it owns and
// wires through narrow hooks: the master, the window as parent, the memo,
// the command queue and its signals. The calibration wizard hooks into the
// signals in the same way.
#pragma once

#include "core/CommandChannel.h"
#include "core/CommandClient.h"
#include "core/CyclicData.h"
#include "core/ParameterRead.h"
#include "ElidingLabel.h"
#include "QtSerialAdapters.h"
#include "core/ResultWait.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QMessageBox;
class QStatusBar;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class T_DPV0;
class TFillCell;
class TFnButton;
class TBackupControl;
class TFunctions;
class TLineControl;
class TParameters;
class TStationsControl;
class TTraceControl;
class TViewControl;
class TWZMdata;
struct MasterState;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    static constexpr int PageSlots = 64;
    static constexpr int ResultTimeoutMs =
        static_cast<int>(TResultWait::Timeout.count());  // a placed command is given up after this
    static constexpr int MessageLines = 5000;            // the memo keeps the latest lines
    static constexpr int BaseWidth = 983;  // the controls' area at its starting size; smaller windows scroll
    static constexpr int BaseHeight = 631;
    // The settings file: ~/.config/Quorvel/window.conf (an earlier
    // Quorvel.conf there is moved into it once).
    static constexpr const char* SettingsName = "window";

    // Builds the controls, then runs FormCreate.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- Controls ----
    QMenuBar* MenuBar;
    QMenu* FileMenu;             // Save messages..., Record trace..., Quit; further items go above Quit
    QAction* RecordTraceAction;  // "Record trace..." or, while recording, "Stop recording"
    QAction* QuitAction;
    QMenu* HelpMenu;
    QStatusBar* StatusBar;
    TElidingLabel* lbStatusPort;  // long texts end in "…" rather than widen the window
    QLabel* lbStatusAddress;
    QLabel* lbStatusModules;
    TElidingLabel* lbStatusLink;
    QGroupBox* gbComm;
    QPushButton* StartButton;
    QPushButton* StopButton;
    QCheckBox* cbFastCycle;
    QLabel* lbPort;
    QComboBox* cbxPort;
    QLabel* lbProfiAddr;
    QComboBox* cbxProfiAddr;
    QPushButton* FindStationsButton;
    QPushButton* DiagnosisButton;
    QLineEdit* edbxCommStatus;
    QPlainTextEdit* mMessages;
    QTabWidget* PageControl1;
    QGroupBox* gbCmdData;
    QLabel* lbNumWZMs;
    QComboBox* cbxNumWZMs;
    QLabel* lbWZMaddr;
    QComboBox* cbxWZMaddr;
    QLabel* lbCmd_in;
    QLineEdit* edbxCmd_in;
    QLabel* lbIndex_in;
    QLineEdit* edbxIndex_in;
    QLabel* lbValue_in;
    QLineEdit* edbxValue_in;
    QLabel* lbStat_out;
    QLineEdit* edbxStat_out;
    QLabel* lbIndex_out;
    QLineEdit* edbxIndex_out;
    QLabel* lbValue_out;
    QLineEdit* edbxValue_out;
    QLabel* lbResult;
    QLineEdit* edbxResult;
    QGroupBox* bgWZMfunctions;
    QGroupBox* gbParams;
    QTabWidget* pcParams;
    QWidget* tsStandard;
    QWidget* tsTrigger;
    QWidget* tsFilling;
    QWidget* tsFlow;
    QLineEdit* edbxSentData;
    QLineEdit* edbxShowData;
    QLineEdit* edbxSentCount;
    QLineEdit* edbxShowCount;

    // ---- State ----
    TParameters* Parameters = nullptr;
    std::unique_ptr<T_DPV0> Master;
    TFunctions* Functions = nullptr;
    // The last result and command, the queue and the handshake.
    TCommandChannel Channel;
    // The running read of a parameter page.
    TParameterRead Read;
    std::uint32_t SentCount = 0;
    std::uint32_t ShownCount = 0;
    std::array<TWZMdata*, PageSlots> Pages{};

    // ---- Handlers ----
    void FormCreate();
    void StartButtonClick();
    void StopButtonClick();
    void cbxProfiAddrChange();
    void cbxWZMaddrChange();
    void PageControl1Change();
    void cbxNumWZMsChange();
    void StateChanged(const MasterState& state);
    void ShowStatusText(const std::string& text);

    // The slave refused the configuration and has `modules` modules: a
    // box beside the window ("ModuleCountOffer") offers to take that count,
    // once for each Start; Escape answers No. The answer goes to the memo.
    void OfferSlaveModuleCount(int modules);
    // The offer no longer applies (Stop, a new count or address, connected):
    // its box closes without an answer.
    void CloseStaleOffer();
    void SetModuleCountFromCode(int modules);

    // Cyclic data and the command channel.
    void ReceiveTelegram(const TByteString& telegram);
    void TelegramSent(const TByteString& telegram);
    void QueueCommand(std::uint8_t unit, const TByteString& command);
    void SendNextCommand();
    // Shows a placed command in the Cmd edits and the memo.
    void ShowPlacement(const std::optional<TCommandChannel::TPlacement>& placed);
    // The pending command's result is not coming: its end as given up.
    void GiveUpCommand();

    // The end of a command in the window's own controls: the result edit
    // ("** NO RESULT **" for a give-up, the module's error text), the
    // parameter cell or the page it answers, the running read's item.
    void ShowResult(const TCommandResult& result);

    // Command sources.
    void FunctionClick(TFnButton* button);
    void ReadParameters(int sheet);
    void WriteParameter(TFillCell* cell);
    std::uint8_t SelectedModule() const;

    // The controllers of what the window offers beyond its own controls,
    // made by FormCreate. The telegram trace (File -> Record trace...).
    TTraceControl* Trace() const { return trace_.get(); }
    // Find stations, Diagnosis and the offer to scan.
    TStationsControl* Stations() const { return stations_.get(); }
    // Module -> Backup parameters... / Restore parameters...
    TBackupControl* Backup() const { return backup_.get(); }
    // View -> Weight plot... and View -> All modules...
    TViewControl* View() const { return view_.get(); }
    // The Line menu and the bus counters.
    TLineControl* Line() const { return line_.get(); }

    // Appends a line to mMessages.
    void AddMessage(const QString& line);
    // How long a placed command may wait for its result.
    void SetResultTimeout(int milliseconds);

    // The memo's lines, each with the time it was added; throws when the
    // file cannot be written.
    void SaveMessages(const QString& fileName);
    // Help -> About: a box with version, build and Qt version.
    void ShowAbout();
    // Help -> Quick start: the first steps in this window ("QuickStartBox").
    void ShowQuickStart();
    // Port (COM name and device), slave address, module count, link state.
    void UpdateStatusBar();
    // Lists the ports that exist now in the PORT box, keeping its text.
    void RefreshPortList();
    // No serial port at all: a box says what to do and offers to look again
    // ("NoPortBox"); a port found then is opened.
    void OfferPortRefresh();
    // Port, slave address, module count and geometry from the last run, and
    // saving them (QSettings). Restore returns true when a geometry was found.
    bool RestoreSettings();
    void SaveSettings() const;

signals:
    // The placed command ended: its result or its give-up, published once.
    // The window's own consumers are connected first (ShowResult, the DP
    // decimals, the backup, the open dialogs); each client takes only the
    // end of its own command.
    void CommandEnded(const TCommandResult& result);
    // Module k's block of a Data_Exchange response was read: its gross weight.
    void ModuleRead(int k, double gross);

protected:
    // Enter in a parameter cell clicks its Set; elsewhere Enter clicks the
    // default button (Start or Stop), as in a dialog.
    void keyPressEvent(QKeyEvent* event) override;
    // Closing while connected stops the link first.
    void closeEvent(QCloseEvent* event) override;
    // The controls' area resized: the extra room goes to the memo, the
    // parameter pages and the dumps.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void BuildMenuBar();
    void BuildStatusBar();
    void StartLink();
    void ArrangeForSize();
    void BuildCommandDataBox();
    void ConnectControls();
    void ShowModuleBlock(const TByteString& telegram, int k);
    void TakeCommandChannel(const TByteString& telegram);
    // Publishes the end of the placed command (CommandEnded) and stops the
    // wait for its result.
    void EndCommand(bool givenUp);
    void ConnectResultConsumers();
    void TakeDecimals(const TCommandResult& result);
    void FeedDialogs(const TCommandResult& result);
    // Every module page greyed, its last values kept, until its next block.
    void ShowPagesStale();
    // Opens the port named in the PORT box when none is open; throws with
    // the reason (and the device path) when it cannot. With no port at all
    // it offers to look again and returns false.
    bool EnsurePortOpen();
    // The first look for ports; a failure is told once the window is up.
    void ScanPortsAtStart();
    // Output byte 0 follows the selected unit while no command is out.
    void SelectUnitByte();
    void ShowSuccess(const TCommandResult& result);
    void OpenPortLater();
    TWZMdata* MakePage(int slot);
    // The unit address box lists the modules there are (0..count-1).
    void ListUnits(int count);
    // The tab of the module that commands go to carries an arrow.
    void MarkCommandedPage();
    // "WZM n" on the tabs, or "n" where that would hide some behind the
    // arrows; once for each module count.
    void FitModuleTabs();
    void SetActivePage(int index);

    std::unique_ptr<TTraceControl> trace_;
    std::unique_ptr<TStationsControl> stations_;
    std::unique_ptr<TBackupControl> backup_;
    std::unique_ptr<TViewControl> view_;
    std::unique_ptr<TLineControl> line_;
    std::unique_ptr<TQtPortChooser> portChooser_;
    std::unique_ptr<TQtStatusEdit> statusEdit_;
    std::unique_ptr<TComboCommit> profiAddrCommit_;
    std::unique_ptr<TComboCommit> numWZMsCommit_;
    std::unique_ptr<TComboCommit> wzmAddrCommit_;
    QTimer* resultTimer_ = nullptr;  // fires when resultWait_ is due
    TResultWait resultWait_;
    bool pageChangeFromCode_ = false;
    QWidget* body_ = nullptr;
    std::deque<std::pair<QDateTime, QString>> messageLog_;  // the memo's lines with their times
    QString lastMessage_;                                   // the last line added, before folding
    int repeats_ = 0;                                       // how often in a row it came
    QString linkText_ = QStringLiteral("Stopped");
    bool inDataExchange_ = false;
    bool notConnectedSaid_ = false;        // "Not connected" said since data exchange was left
    QPointer<QMessageBox> countOffer_;     // the module count offer on show
    int offeredCount_ = 0;                 // the count offered since the last Start (0: none)
    bool portLost_ = false;                // the port's device was lost at the last status text
    std::array<int, PageSlots> decimals_;  // each module's decimal places (DP) as it last reported them
};
