// The serial channel between the port component and the DP master: finds
// the COM ports that open and opens one, lets the user switch ports, polls
// the port every 20 ms into a 256-byte buffer, cuts telegrams out of it and
// hands each one to OnTelegram, and every fifth poll hands OnTelegram an
// empty telegram, the master's 100 ms clock.
//
// It keeps the line's discipline for the master: after a request that
// expects an answer (AwaitAnswer) the empty tick is held back until the
// answer is in (AnswerIn) or the request's slot time has run out, so the
// next request never goes out while the slave may still be answering. A
// held tick goes out the moment the line is free, and the tick count starts
// afresh from there: no tick is carried over. The awaited answer is handed
// over as soon as its last byte is in (the port's avail notification), not
// at the next poll.
//
// Before each write the line must have been idle for 33 bit times (TSYN),
// counted from the last byte received or sent, and an awaited answer must be
// in or its slot over: a write made sooner is held and goes out at the
// timer's wake, so an answer still arriving holds the next request back.
// While an answer is awaited, a telegram that completed sooner than the
// request's own time, the min TSDR and the telegram's own time allow cannot
// answer it: it is a late answer to an earlier request, dropped and counted.
// The slot's adapter allowance covers both directions and follows the
// adapter: it is kept above the largest delay of the recent answers beyond
// their time on the line, starting from the setting.
//
// Cutting follows the FDL framing (fdl/Framing.h): every complete telegram
// is handed over alone, corrupt telegrams and noise are dropped and counted,
// and a telegram that is not complete within its own time on the line plus
// the adapter allowance is dropped so that what follows it is scanned on.
// A telegram that holds a character the port's driver received with a
// parity or framing error is corrupt too, whatever its check sum says.
// Each piece cut off the buffer is told to OnWire with the time its last
// byte arrived, for a trace.
//
// A device that disappears while open (adapter pulled, far side ended) is
// closed and reopened about once a second, but only once its COM number
// names the same device path again (numbers of real devices are given out
// afresh, so the number alone may name another device by then); the polls
// and empty ticks go on meanwhile. The loss and the return are told once
// each through OnNotice.
//
// Everything here runs on the thread that runs the timer; nothing waits for
// the line.
#pragma once

#include "base/ByteString.h"
#include "PollTimer.h"
#include "PortChooser.h"
#include "VeltComponent.h"
#include "VeltPort.h"
#include "fdl/Framing.h"
#include "fdl/LineTiming.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// What was cut off the front of the receive buffer.
struct TWirePiece {
    fdl::TCutKind kind = fdl::TCutKind::Complete;  // Complete, Corrupt or Noise
    fdl::TFault fault = fdl::TFault::None;
    TByteString bytes;
    std::chrono::steady_clock::time_point arrived;  // its last byte
    std::chrono::steady_clock::time_point first;    // its first byte
    bool late = false;                              // a complete telegram too early for the request awaiting an answer
};

// Received bytes the channel dropped, by reason.
struct TLineCounts {
    std::uint64_t checkSum = 0;  // telegrams with a wrong check sum
    std::uint64_t length = 0;    // with unequal length bytes
    std::uint64_t endByte = 0;   // with a wrong end byte
    std::uint64_t timeout = 0;   // not complete within their time on the line
    std::uint64_t parity = 0;    // holding a character received with a parity or framing error
    std::uint64_t noiseBytes = 0;
    std::uint64_t late = 0;  // complete, but too early to answer the request awaiting one
};

class TCommUnit : public TComponent {
public:
    using Clock = std::chrono::steady_clock;
    using TTelegramEvent = std::function<void(const TByteString& telegram)>;
    using TNoticeEvent = std::function<void(const std::string& text)>;
    using TWireEvent = std::function<void(const TWirePiece& piece)>;

    static constexpr int PollInterval = 20;    // ms
    static constexpr int TickPeriod = 100;     // ms: the empty tick
    static constexpr int ReopenPeriod = 1000;  // ms: a lost device is retried every second
    static constexpr int PollsPerTick = TickPeriod / PollInterval;
    static constexpr int ReopenPolls = ReopenPeriod / PollInterval;
    static constexpr int BufferSize = 256;
    static constexpr int HighestComNumber = 99;
    static constexpr int DefaultAdapterAllowance = 20;  // ms: common USB adapters hold bytes up to 16 ms
    static constexpr int MaxAdapterAllowance = 1000;    // ms

    // `timer` paces the polls; without one a TManualTimer is used.
    explicit TCommUnit(TComponent* owner = nullptr, std::unique_ptr<TPollTimer> timer = nullptr);
    ~TCommUnit() override;  // stops the timer, closes the port

    // Lists COM1..COM99 that open in `combo` (a port held by another program
    // is named in a notice), opens COM2 if it opened, else the lowest that did, switches DTR and RTS on and starts
    // polling. With no port at all the port component is asked to prompt (ComNumber 0); its exception then leaves here
    // and nothing polls.
    void ScanPorts(TPortChooser& combo);
    // Opens COM `comNumber` (0: the port component prompts for one), switches
    // DTR and RTS on and starts polling. The component's exception leaves
    // here when the open fails, and then nothing polls.
    void OpenAndPoll(std::uint16_t comNumber);
    // The combo's change handler: reopens the port the combo's text names.
    // A text that names no port (EConvertError raised, see ComNumberOf)
    // leaves the port closed, with a notice; so does a failing open (its
    // exception leaves here). Nothing opens it again behind the user's back
    // until a port is chosen that opens.
    void SelectPort();
    // The number of a port name the user chose or typed. Raises EConvertError
    // for a text without a number after "COM" and for any other text that
    // names no port from COM1 to COM255.
    static std::uint16_t ComNumberOf(const std::string& name);
    void SetOnTelegram(TTelegramEvent handler) { onTelegram_ = std::move(handler); }
    // While set, complete telegrams go here instead of OnTelegram (the live
    // list borrows the channel this way); empty: back to OnTelegram.
    void SetTelegramTaker(TTelegramEvent taker) { taker_ = std::move(taker); }
    // Lines for the user about the port: lost, back, a choice refused.
    void SetOnNotice(TNoticeEvent handler) { onNotice_ = std::move(handler); }
    // Every piece cut off the receive buffer: telegrams, corrupt ones, noise.
    void SetOnWire(TWireEvent handler) { onWire_ = std::move(handler); }

    // Polls every `milliseconds` (1..20, a divisor of 100) instead of every
    // 20 ms; the empty tick stays at 100 ms.
    void SetPollInterval(int milliseconds);

    // The time an adapter may add to an answer (0..1000 ms): where the
    // allowance starts before answers have shown the adapter's delays.
    void SetAdapterAllowance(int milliseconds);
    int AdapterAllowance() const { return allowance_; }
    // The allowance in force: above the largest of the recent answers'
    // delays beyond their time on the line (with a margin, at most
    // MaxAdapterAllowance), and never below the setting.
    fdl::Duration LearnedAllowance() const;
    static constexpr std::size_t LearnFrom = 32;                  // answers remembered
    static constexpr std::chrono::milliseconds LearnBeyond{200};  // the latest past its slot an answer is learned
    // A request of `requestLength` bytes has just been written and expects
    // an answer of about `answerLength` bytes (0: none): the tick waits for
    // the answer or the slot time.
    void AwaitAnswer(std::size_t requestLength, std::size_t answerLength);
    // The awaited answer is in: the line is free.
    void AnswerIn();
    bool AwaitingAnswer() const { return awaiting_; }
    // True while an awaited answer may still come: within its slot time, or
    // an answer that began within it is still arriving.
    bool LineBusy() const;

    // One poll: takes the waiting bytes, delivers the telegrams among them,
    // and every 100 ms (every fifth 20 ms poll) the empty tick, once the
    // line is free.
    void PollTick();
    // A poll between polls: no new tick, but a held one goes out once the
    // line is free.
    void PollInput();
    void ClearBuffer();

    // Writes to the port. While a vanished device waits to be reopened, or
    // after a refused choice of port, the bytes are dropped and false is
    // returned (the master then just sees no
    // answer); otherwise failures of the port component propagate.
    // A write the line's idle time holds goes out at the timer's wake; a
    // newer write replaces one still held (the master has given up on it).
    // In listen mode nothing is written, held or queued: false.
    bool Write(const TByteString& bytes);
    // Listen mode: the port refuses output (see TVeltCustomComPort::
    // SetListenOnly), RTS stays low so that an adapter that keys its driver
    // on RTS stays off the line, and Write sends nothing.
    void SetListenOnly(bool on);
    bool ListenOnly() const { return port_->ListenOnly(); }
    bool WriteHeld() const { return !held_.empty(); }

    TVeltComPort& Port() { return *port_; }
    TPollTimer& PollTimer() { return *pollTimer_; }
    TPortChooser* PortCombo() const { return portCombo_; }
    int TickCount() const { return tickCount_; }
    int RxCount() const { return rxCount_; }
    const std::uint8_t* RxBuffer() const { return rxBuffer_.data(); }
    // True while the port is closed because its device vanished and is being
    // reopened about once a second.
    bool DeviceLost() const { return deviceLost_; }
    // What the channel dropped of the received bytes.
    const TLineCounts& LineCounts() const { return counts_; }
    // The path the port was last opened on.
    const std::string& OpenedPath() const { return openedPath_; }

private:
    bool TakeInput();
    void CutBuffer();
    bool Expired(const fdl::TCut& cut, Clock::time_point now) const;
    bool HoldsBadByte(std::size_t length) const;
    void Count(const fdl::TCut& cut);
    void ReleaseTick();
    void ArmInputWake();
    void DropFront(int count);
    Clock::time_point SendDue() const;
    void SendHeld();
    void Woken();
    bool Late(const TWirePiece& piece) const;
    void Learn(const TWirePiece& piece);
    fdl::Duration Slot(std::size_t requestLength, std::size_t answerLength) const;
    int PollsPer(int period) const;
    void CheckDevice();
    void LoseDevice();
    void TryReopen();
    void Opened();
    void Refuse(const std::string& text);
    void Notice(const std::string& text);

    TPortChooser* portCombo_ = nullptr;
    std::unique_ptr<TPollTimer> pollTimer_;
    int tickCount_ = 0;
    TTelegramEvent onTelegram_;
    int rxCount_ = 0;
    std::array<std::uint8_t, BufferSize> rxBuffer_{};
    std::array<Clock::time_point, BufferSize> rxTime_{};  // when each byte arrived
    std::array<bool, BufferSize> rxBad_{};                // received with a parity or framing error
    std::unique_ptr<TVeltComPort> port_;
    bool deviceLost_ = false;
    bool refused_ = false;  // closed after a refused or failed choice of port
    int reopenCountdown_ = 0;
    std::string openedPath_;
    TLineCounts counts_;
    TNoticeEvent onNotice_;
    TTelegramEvent taker_;
    TWireEvent onWire_;
    int allowance_ = DefaultAdapterAllowance;
    bool tickDue_ = false;           // the tick is due and held while the line is busy
    bool awaiting_ = false;          // a request awaits its answer
    Clock::time_point deadline_{};   // and its slot time runs out then
    std::size_t expected_ = 0;       // length of the answer awaited
    fdl::Duration slot_{};           // of the request awaiting its answer
    TByteString held_;               // a write waiting for the idle line
    Clock::time_point holdUntil_{};  // and the end of the slot before it
    Clock::time_point sentAt_{};     // the last write to the line
    std::size_t sentLength_ = 0;
    Clock::time_point sentEnd_{};  // when its last byte is through
    bool learned_ = false;         // an answer's delay was taken since
    std::array<fdl::Duration, LearnFrom> delays_{};
    std::size_t delayCount_ = 0;
};
