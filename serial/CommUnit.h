// The serial channel between the port component and the DP master: finds
// the COM ports that open and opens one, lets the user switch ports, polls
// the port every 20 ms into a 256-byte buffer, cuts telegrams out of it and
// hands each one to OnTelegram, and every fifth poll hands OnTelegram an
// empty telegram, the master's 100 ms clock.
//
// A device that disappears while open (adapter pulled, far side ended) is
// closed and reopened on the same COM number about once a second, quietly;
// the polls and empty ticks go on meanwhile.
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

    static constexpr int PollInterval = 20;  // ms
    static constexpr int PollsPerTick = 5;   // the empty tick every 100 ms
    static constexpr int ReopenPolls = 50;   // a lost device is retried every second
    static constexpr int BufferSize = 256;
    static constexpr int HighestComNumber = 99;

    // `timer` paces the polls; without one a TManualTimer is used.
    explicit TCommUnit(TComponent* owner = nullptr, std::unique_ptr<TPollTimer> timer = nullptr);
    ~TCommUnit() override;  // stops the timer, closes the port

    // Lists COM1..COM99 that open in `combo`, opens COM2 if it opened, else
    // the lowest that did, switches DTR and RTS on and starts polling. With
    // no port at all the port component is asked to prompt (ComNumber 0);
    // its exception then leaves here and nothing polls.
    void ScanPorts(TPortChooser& combo);
    // Opens COM `comNumber` (0: the port component prompts for one), switches
    // DTR and RTS on and starts polling. The component's exception leaves
    // here when the open fails, and then nothing polls.
    void OpenAndPoll(std::uint16_t comNumber);
    // The combo's change handler: reopens the port the combo's text names.
    // Raises EConvertError (see ComNumberOf), leaving the port closed.
    void SelectPort();
    // The number of a port name the user chose or typed. Raises EConvertError
    // for a text without a number after "COM" and for any other text that
    // names no port from COM1 to COM255.
    static std::uint16_t ComNumberOf(const std::string& name);
    void SetOnTelegram(TTelegramEvent handler) { onTelegram_ = std::move(handler); }

    // One 20 ms poll: takes the waiting bytes, delivers at most one telegram,
    // and every fifth poll the empty tick.
    void PollTick();
    // Applies the delimiting rules once, `added` being the bytes of this poll.
    void ExtractTelegrams(int added);
    void ClearBuffer();
    // True when the sum modulo 256 of `count` bytes equals the byte after them.
    static bool SumMatches(const std::uint8_t* bytes, int count);

    // Writes to the port. While a vanished device waits to be reopened the
    // bytes are dropped and false is returned (the master then just sees no
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

private:
    void TakeInput(int& added, bool& got);
    void CheckDevice();
    void LoseDevice();
    void TryReopen();

    TPortChooser* portCombo_ = nullptr;
    std::unique_ptr<TPollTimer> pollTimer_;
    int tickCount_ = 0;
    TTelegramEvent onTelegram_;
    int rxCount_ = 0;
    std::array<std::uint8_t, BufferSize> rxBuffer_{};
    std::unique_ptr<TVeltComPort> port_;
    bool deviceLost_ = false;
    int reopenCountdown_ = 0;
};
