// The main window: the link controls (Start, Stop, port, PROFIBUS address,
// state), one process-data page per module, the command channel's edits,
// the function keys, the parameter pages and the dumps of the last telegram
// received and sent. It owns the DP master, the parameter sheets, the
// function panel, the module pages and the command queue.
#pragma once

#include "CommandChannel.h"
#include "ParameterRead.h"
#include "QtSerialFaces.h"

#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class T_DPV0;
class TFillCell;
class TFnButton;
class TFunctions;
class TParameters;
class TWZMdata;
struct MasterState;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    static constexpr int PageSlots = 64;
    static constexpr int ResultTimeoutMs = 10000;  // a placed command is given up after this
    static constexpr int MessageLines = 5000;       // the memo keeps the latest lines

    // Builds the controls, then runs FormCreate.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- Controls ----
    QGroupBox* gbComm;
    QPushButton* StartButton;
    QPushButton* StopButton;
    QLabel* lbPort;
    QComboBox* cbxPort;
    QLabel* lbProfiAddr;
    QComboBox* cbxProfiAddr;
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

    // Cyclic data and the command channel.
    void ReceiveTelegram(const TByteString& telegram);
    void TelegramSent(const TByteString& telegram);
    void QueueCommand(std::uint8_t unit, const TByteString& command);
    void SendNextCommand();
    // The pending command's result is not coming: "** NO RESULT **".
    void GiveUpCommand();

    // Command results and command sources.
    void ShowResult();
    void FunctionClick(TFnButton* button);
    void ReadParameters(int sheet);
    void WriteParameter(TFillCell* cell);
    std::uint8_t SelectedModule() const;

    // Appends a line to mMessages.
    void AddMessage(const QString& line);
    // How long a placed command may wait for its result.
    void SetResultTimeout(int milliseconds);

signals:
    // A pending command got its result; emitted after ShowResult.
    void CommandAnswered(quint8 command, quint8 index, qint32 value);

protected:
    // Enter clicks the default button (Start or Stop), as in a dialog.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildLayout();
    void BuildCommandDataBox();
    void ConnectControls();
    void ShowModuleBlock(const TByteString& telegram, int k);
    void TakeCommandChannel(const TByteString& telegram);
    void FeedDialogs();
    void MarkReadItemRefused();
    void ShowSuccess();
    void OpenPortLater();
    TWZMdata* MakePage(int slot);
    void SetActivePage(int index);

    std::unique_ptr<TQtPortChooser> portChooser_;
    std::unique_ptr<TQtStatusEdit> statusEdit_;
    std::unique_ptr<TComboCommit> profiAddrCommit_;
    std::unique_ptr<TComboCommit> numWZMsCommit_;
    std::unique_ptr<TComboCommit> wzmAddrCommit_;
    QTimer* resultTimer_ = nullptr;
    bool pageChangeFromCode_ = false;
};
