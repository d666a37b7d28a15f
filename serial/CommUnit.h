// The serial channel between the port component and the DP master: finds
// the COM ports that open and opens one, lets the user switch ports, polls
// the port every 20 ms into a 256-byte buffer, cuts telegrams out of it and
// hands each one to OnTelegram, and every fifth poll hands OnTelegram an
// empty telegram, the master's 100 ms clock.
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

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TCommUnit : public TComponent {
public:
    using TTelegramEvent = std::function<void(const TByteString& telegram)>;
    using TNoticeEvent = std::function<void(const std::string& text)>;

    static constexpr int PollInterval = 20;    // ms
    static constexpr int TickPeriod = 100;     // ms: the empty tick
    static constexpr int ReopenPeriod = 1000;  // ms: a lost device is retried every second
    static constexpr int PollsPerTick = TickPeriod / PollInterval;
    static constexpr int ReopenPolls = ReopenPeriod / PollInterval;
    static constexpr int BufferSize = 256;
    static constexpr int HighestComNumber = 99;

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
    // Lines for the user about the port: lost, back, a choice refused.
    void SetOnNotice(TNoticeEvent handler) { onNotice_ = std::move(handler); }

    // Polls every `milliseconds` (1..20, a divisor of 100) instead of every
    // 20 ms; the empty tick stays at 100 ms.
    void SetPollInterval(int milliseconds);
    // On: a telegram announced with ExpectTelegram is taken and handed over
    // as soon as its last byte is in (the port's avail notification), not at
    // the next poll. The polls and ticks go on as before.
    void SetWakeOnInput(bool on);
    // The next telegram is expected to be `length` bytes long (0: unknown).
    void ExpectTelegram(std::size_t length);

    // One poll: takes the waiting bytes, delivers at most one telegram, and
    // every 100 ms (every fifth 20 ms poll) the empty tick.
    void PollTick();
    // A poll between polls: no tick.
    void PollInput();
    // Applies the delimiting rules once, `added` being the bytes of this poll.
    void ExtractTelegrams(int added);
    void ClearBuffer();
    // True when the sum modulo 256 of `count` bytes equals the byte after them.
    static bool SumMatches(const std::uint8_t* bytes, int count);

    // Writes to the port. While a vanished device waits to be reopened, or
    // after a refused choice of port, the bytes are dropped and false is
    // returned (the master then just sees no
    // answer); otherwise failures of the port component propagate.
    bool Write(const TByteString& bytes);

    TVeltComPort& Port() { return *port_; }
    TPollTimer& PollTimer() { return *pollTimer_; }
    TPortChooser* PortCombo() const { return portCombo_; }
    int TickCount() const { return tickCount_; }
    int RxCount() const { return rxCount_; }
    const std::uint8_t* RxBuffer() const { return rxBuffer_.data(); }
    // True while the port is closed because its device vanished and is being
    // reopened about once a second.
    bool DeviceLost() const { return deviceLost_; }
    // How often received bytes that were no telegram were dropped.
    std::uint32_t Dropped() const { return dropped_; }
    // The path the port was last opened on.
    const std::string& OpenedPath() const { return openedPath_; }

private:
    void TakeInput(int& added, bool& got);
    void ArmInputWake();
    void DropFront(int count);
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
    std::unique_ptr<TVeltComPort> port_;
    bool deviceLost_ = false;
    bool refused_ = false;  // closed after a refused or failed choice of port
    int reopenCountdown_ = 0;
    std::string openedPath_;
    std::uint32_t dropped_ = 0;
    TNoticeEvent onNotice_;
    bool wakeOnInput_ = false;
    std::size_t expected_ = 0;  // length of the telegram awaited, 0: unknown
};
