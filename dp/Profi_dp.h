// The DP-V0 master: brings the one slave at SlaveAddress through the DP
// start-up (Slave_Diag, Set_Prm, Chk_Cfg, Slave_Diag, Global_Control) and then
// exchanges OutputData with it cyclically. It has no thread and no timer of
// its own: its serial channel calls Step once for every received telegram
// and once with an empty telegram every 100 ms. Each Step sends at most one
// telegram, and a request is judged by the very next Step.
//
// One request is outstanding at a time: the channel holds the empty tick
// back until the answer is in or the request's slot time has run out. Only
// a valid answer from the slave counts as one: a whole telegram (delimiters,
// lengths, check sum, end byte) with SA the slave and DA the master, not a
// request, or an SC where the request allows one. Anything else is dropped
// before it reaches OnReceive or the state machine. A slave that stops
// answering in data exchange is noticed: after 10 Data_Exchange requests in
// a row without a valid answer the master shows "No answer from slave" and
// starts over. Each SRD request carries the frame count bit as the standard
// has it: a new station or a new start-up begins with FCV=0 (FCB=1), then
// FCB toggles with FCV=1 after each answered request; a request left
// unanswered is sent once more unchanged, so the slave can tell the repeat
// from a new request and answer it without acting on it twice, before it
// counts as unanswered. While the port's device is
// lost the channel's notice stays on show instead of the master's texts.
//
// Every Slave_Diag answer from the slave is decoded and reported through
// OnDiagnosis. When the slave refuses the configuration or the parameters
// the master says so once (not on every new attempt): for a configuration
// it asks Get_Cfg once, in the idle wait after Global_Control, to name the
// slave's module count. The start-up sequence itself is unchanged.
#pragma once

#include "Diagnosis.h"
#include "StatusDisplay.h"
#include "Telegram.h"
#include "base/ByteString.h"
#include "serial/CommUnit.h"
#include "serial/PollTimer.h"
#include "serial/VeltComponent.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

enum TMasterStateId : std::uint8_t {
    stStart = 0,             // writes the start sequence
    stIdle = 1,              // nothing; after creation and StopMaster
    stConnecting = 2,        // Slave_Diag until the slave answers
    stParameterization = 3,  // Set_Prm
    stConfiguration = 4,     // Chk_Cfg, Slave_Diag, Global_Control, then a wait
    stDataExchange = 5,      // cyclic Data_Exchange
};

// The sub-steps of each state.
enum TMasterSubStep : std::uint8_t {
    ssSend = 0,      // send the state's request
    ssJudge = 1,     // judge the answer (in stDataExchange: let the answer pass)
    ssGoOn = 2,      // go on to the next request or state
    ssFallBack = 3,  // start again
};

// The request stConfiguration has outstanding.
enum TConfigurationPhase : std::uint32_t {
    phChkCfg = 0,
    phSlaveDiag = 1,
    phGlobalControl = 2,
};

// Counter: Steps counted after Global_Control.
struct MasterState {
    std::uint8_t State = 0;
    std::uint8_t SubStep = ssSend;
    std::uint32_t Phase = phChkCfg;
    std::uint32_t Counter = 0;
};

// What a trace handler is told about the line: a telegram written or
// received, the start sequence, received bytes dropped (a corrupt telegram
// or noise, `comment` says why), or a comment alone (start, stop, port lost).
enum class TTraceKind : std::uint8_t { Sent, Received, StartSequence, Dropped, Comment };
struct TTraceEntry {
    TTraceKind kind = TTraceKind::Comment;
    TByteString bytes;
    std::string comment;
    std::chrono::steady_clock::time_point at;  // a received piece: when its last byte arrived
};

// What a bus tester counts of the master's work.
struct TBusCounters {
    std::uint64_t requests = 0;              // telegrams the master wrote
    std::uint64_t answers = 0;               // valid answers
    std::uint64_t noAnswer = 0;              // requests left unanswered, their repeat too
    std::uint64_t repeats = 0;               // unanswered requests sent once more with the same FCB
    std::uint64_t late = 0;                  // telegrams too early to answer the request awaiting one
    std::uint64_t badAnswers = 0;            // corrupt telegrams received (check sum, length, end byte, time, parity)
    std::uint64_t noiseBytes = 0;            // received bytes that could start no telegram
    std::chrono::microseconds lastCycle{0};  // between the last two Data_Exchange requests
    // The shortest, mean and longest of those cycles since the last Start or
    // ResetCycles (0 while none).
    std::chrono::microseconds minCycle{0};
    std::chrono::microseconds meanCycle{0};
    std::chrono::microseconds maxCycle{0};
    std::chrono::microseconds allowance{0};  // the adapter allowance the channel has learned
};
// "requests 120 answers 118 no answer 2 bad 1 (check sum 1 length 0 end byte 0 time 0 parity 0) noise 20 repeats 2
// late 0 cycle 100.2 ms mean 100.1 ms min 99.8 ms max 101.4 ms allowance 3.1 ms"
std::string CountersLine(const TBusCounters& c, const TLineCounts& line);

class T_DPV0 : public TComponent {
public:
    using TTraceEvent = std::function<void(const TTraceEntry& entry)>;
    using TTelegramEvent = std::function<void(const TByteString& telegram)>;
    using TStateEvent = std::function<void(const MasterState& state)>;
    using TTextEvent = std::function<void(const std::string& text)>;
    using TDiagnosisEvent = std::function<void(const diag::TDiagnosis& diagnosis)>;
    // The slave's own module count (0: unknown) when it refused the configuration.
    using TRefusalEvent = std::function<void(int slaveModules)>;

    static constexpr int SilentRequestLimit = 10;
    static constexpr std::chrono::seconds SilenceLimit{3};
    // Requests left unanswered that silence also needs: time alone would
    // blame the slave for a pause of the master's own (a busy window).
    static constexpr int SilentStationRequests = 5;
    // Steps after Global_Control before cyclic data exchange begins.
    static constexpr std::uint32_t SettlingSteps = 5;

    // Starts idle with one module. `pollTimer` paces the serial channel
    // (without one the channel uses a TManualTimer).
    explicit T_DPV0(TComponent* owner = nullptr, std::unique_ptr<TPollTimer> pollTimer = nullptr);
    ~T_DPV0() override;  // clears and frees the channel, which closes the port

    void SetOnReceive(TTelegramEvent handler) { onReceive_ = std::move(handler); }
    void SetOnSend(TTelegramEvent handler) { onSend_ = std::move(handler); }
    void SetOnStateChange(TStateEvent handler) { onStateChange_ = std::move(handler); }
    void SetOnStatusText(TTextEvent handler) { onStatusText_ = std::move(handler); }
    void SetOnDiagnosis(TDiagnosisEvent handler) { onDiagnosis_ = std::move(handler); }
    void SetOnConfigRefused(TRefusalEvent handler) { onConfigRefused_ = std::move(handler); }
    // No valid answer from SlaveAddress for SilenceLimit while connecting:
    // said once (and held in the status until an answer, Start or change).
    void SetOnSilentStation(std::function<void(int address)> handler) { onSilentStation_ = std::move(handler); }
    // Everything on the line as the channel cut it, each telegram written,
    // and comments for start, stop and the port's loss and return, for a
    // trace; independent of OnSend and OnReceive.
    void SetOnTrace(TTraceEvent handler) { onTrace_ = std::move(handler); }
    // Every piece the channel cuts off the line, also while stopped: a
    // listener reads the line through it.
    void SetOnHeard(TCommUnit::TWireEvent handler) { onHeard_ = std::move(handler); }
    // Puts an entry into the trace (the live list's requests, say).
    void Trace(TTraceKind kind, const TByteString& bytes, const std::string& comment = {});
    // Not owned; may stay unset (the text then goes only to OnStatusText).
    void SetStatusEdit(TStatusDisplay* edit) { statusEdit_ = edit; }

    // ModuleCount := n; OutputData := 8 + n zero bytes (8 for n <= 0).
    void SetModuleCount(std::int32_t n);
    std::int32_t ModuleCount() const { return moduleCount_; }

    // Off: a Data_Exchange request goes out on each 100 ms tick, or as soon
    // as the answer is in where the exchange takes longer. On: the next
    // request goes out as soon as the answer is in; the 100 ms ticks still
    // drive everything else (start-up, the silent-slave count).
    void SetFastCycle(bool on);
    bool FastCycle() const { return fastCycle_; }

    void StartMaster();  // to stStart from any state
    void StopMaster();   // to stIdle from any state

    // One step of the state machine; `telegram` is empty for the 100 ms tick.
    virtual void Step(const TByteString& telegram);

    // The master's telegrams (see Telegram.h for the layouts).
    void SendSapRequest(std::uint16_t sapPair, const TByteString& data);
    void SendDataExchange(const TByteString& data);
    // Completes a header-and-body frame with check sum and end delimiter,
    // writes it and reports it through OnSend. A frame whose header is not
    // 68 LE LE 68 is dropped without a word.
    void SendTelegram(const TByteString& frame);
    // Classifies a received telegram string, keeps the code in ReplyCode and
    // returns it. The receive handler must call this for every telegram it
    // gets: the state machine acts on the code it leaves.
    std::int16_t ClassifyReply(const TByteString& telegram);

    // The counts since creation, with the channel's; the cycle times since
    // the last Start or ResetCycles.
    TBusCounters Counters() const;
    // The cycle times count afresh (the user's reset of the bus counters).
    void ResetCycles();

    // What the status keeps showing while the start-up repeats behind it:
    // "Configuration refused" or "Parameters refused" while the slave refuses
    // the start-up, or that no station answers (empty otherwise), and why.
    static constexpr const char* ConfigurationRefused = "Configuration refused";
    static constexpr const char* ParametersRefused = "Parameters refused";
    const std::string& HeldStatus() const { return heldStatus_; }
    const std::string& HeldReason() const { return heldReason_; }
    // A changed address or module count: the old refusal no longer holds.
    void ClearHeldStatus();

    // The last diagnosis the slave gave (none yet: empty).
    const std::optional<diag::TDiagnosis>& LastDiagnosis() const { return lastDiagnosis_; }

    const MasterState& CurrentState() const { return state_; }
    const MasterState& LastState() const { return lastState_; }
    std::int16_t ReplyCode() const { return replyCode_; }
    TCommUnit& CommUnit() { return *commUnit_; }
    const TCommUnit& CommUnit() const { return *commUnit_; }

    // The slave's station address; only its low 8 bits go on the line.
    std::int32_t SlaveAddress = 0;
    // The output bytes of every Data_Exchange request; the main window reads
    // and writes them between Steps.
    TByteString OutputData = TByteString::Filled(9);

private:
    void ReportStateChange();
    void Act(std::size_t n);
    void ActConfiguration(std::size_t n);
    void ActDataExchange(std::size_t n);
    void ShowText(const std::string& text, const TStatusColour& colour = TStatusColour::WindowText());
    // A notice of the serial channel (port lost, back, refused): always shown.
    void ShowNotice(const std::string& text);
    void Restart();
    void SetState(std::uint8_t state, std::uint8_t subStep);
    void WriteRaw(const TByteString& bytes);
    void Awaiting(const TByteString& request);
    std::uint8_t FrameCount();
    bool Repeat();
    bool IsAnswer(const TByteString& telegram) const;
    void CountCycle();
    void Observe(const TByteString& telegram);
    void JudgeStartupDiagnosis(const diag::TDiagnosis& d);
    void AskConfigInWait();
    void ReportConfigRefusal(int slaveModules);  // 0: the count is unknown
    // The slave refused this start-up: `reason` is said once, then `status`
    // shows in maroon until the next Start, Stop, change or data exchange.
    // False when the reason was the last one said.
    bool Refuse(const std::string& status, const std::string& reason);
    void HeardNow();
    void WatchSilence();

    MasterState state_{stIdle, 0, 0, 0};
    MasterState lastState_{};
    std::int16_t replyCode_ = rcNone;
    TTelegramEvent onReceive_;
    TTelegramEvent onSend_;
    TStateEvent onStateChange_;
    TTextEvent onStatusText_;
    TTraceEvent onTrace_;
    TCommUnit::TWireEvent onHeard_;
    TStatusDisplay* statusEdit_ = nullptr;
    std::unique_ptr<TCommUnit> commUnit_;
    std::int32_t moduleCount_ = 1;
    bool fastCycle_ = false;

    // The request awaiting its answer.
    enum class TAwaited : std::uint8_t { Nothing, Answer, AnswerOrAck };
    TAwaited awaited_ = TAwaited::Nothing;
    TByteString lastRequest_;  // the SRD request awaiting its answer, as written
    bool repeated_ = false;    // and it has been sent once more
    // Frame count of the station at fcbStation_: FCV=0 until a request to it is answered.
    std::int32_t fcbStation_ = -1;
    bool fcvActive_ = false;
    bool fcb_ = true;  // of the last request sent

    // Silent-slave watch in data exchange.
    bool requestOutstanding_ = false;  // a Data_Exchange request went out
    bool answered_ = false;            // and its valid answer came
    int silentRequests_ = 0;           // requests in a row without one

    TBusCounters counters_;
    std::chrono::steady_clock::time_point lastExchange_{};  // the last Data_Exchange request
    std::chrono::microseconds cycleSum_{0};
    std::uint64_t cycles_ = 0;

    TDiagnosisEvent onDiagnosis_;
    TRefusalEvent onConfigRefused_;
    std::optional<diag::TDiagnosis> lastDiagnosis_;
    bool cfgRefused_ = false;   // this start-up's diagnosis after Chk_Cfg had Cfg_Fault
    bool getCfgAsked_ = false;  // and Get_Cfg went out in the wait
    bool getCfgAnswered_ = false;
    bool prmRefused_ = false;     // and had Prm_Fault
    std::int32_t countSent_ = 0;  // the module count of the last Chk_Cfg
    int slaveModules_ = 0;        // the count the slave's Get_Cfg last named for it
    std::string lastFault_;       // the refusal last reported, to say each once
    std::function<void(int address)> onSilentStation_;
    std::chrono::steady_clock::time_point lastHeard_{};  // the last valid answer, Start or new address
    std::int32_t heardAddress_ = -1;
    bool silenceSaid_ = false;
    int unheardRequests_ = 0;  // requests left unanswered since lastHeard_
    std::string heldStatus_;
    std::string heldReason_;
};
