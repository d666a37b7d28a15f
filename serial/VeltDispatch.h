// The dispatcher owns one open serial device for a port component: the device,
// a circular input buffer (8192 bytes) filled from it, a circular output buffer
// drained to it, the line settings, error and modem state, and three threads:
//   event thread    blocks until the device reports something; on input it
//                   reads the device into the input buffer itself and wakes
//                   the dispatch thread only for modem or error events or
//                   when handlers want notifications, without waiting for it;
//   dispatch thread delivers notifications, services modem and error events,
//                   and every 50 ms without an event reads the device too and
//                   looks at the line errors;
//   output thread   the only writer to the device.
// This base class holds everything that does not depend on the operating
// system; the device operations are virtual, implemented per system under
// posix/ (MakeNativeDispatcher gives the one this build uses).
//
// Results: 0 success, positive "nothing done" answers, negative result codes
// (VeltMisc.h). Nothing here raises; the component turns codes into exceptions.
//
// Locks: ReadLock is held by whichever thread reads the device into the input
// buffer; InputLock guards the input buffer, OutputLock the output buffer and
// the status record, DataLock the control block, line and modem state, handler
// lists, trace and log. Order: ReadLock, then InputLock, then OutputLock, then
// DataLock; a lock is never taken while holding one that comes later. Apart
// from ReadLock they are held alone for short scopes, except that a purge or an
// open takes InputLock and OutputLock together through one std::scoped_lock.
// SignalLock is a leaf: it guards the wake-up events while a stop signals them
// from any thread and a release frees them, and nothing is taken under it.
#pragma once

#include "VeltEvent.h"
#include "VeltMisc.h"
#include "VeltPortTypes.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TComponent;
class TVeltNotifyQueue;

// The device's line settings, one field for each setting of Windows' line
// settings record (DCB): the Windows dispatcher copies them to and from it
// field by field, the POSIX one maps them onto termios, and the port
// component speaks this one record to both.
struct TDeviceControlBlock {
    enum : std::uint8_t { DtrDisable = 0, DtrEnable = 1, DtrHandshake = 2 };
    enum : std::uint8_t { RtsDisable = 0, RtsEnable = 1, RtsHandshake = 2, RtsToggle = 3 };
    enum : std::uint8_t { OneStopBit = 0, One5StopBits = 1, TwoStopBits = 2 };

    std::uint32_t BaudRate = 19200;
    bool Binary = true;
    bool ParityCheck = false;
    bool OutxCtsFlow = false;
    bool OutxDsrFlow = false;
    std::uint8_t DtrControl = DtrDisable;
    bool DsrSensitivity = false;
    bool TxContinueOnXoff = false;
    bool OutX = false;
    bool InX = false;
    bool NullStrip = false;
    std::uint8_t RtsControl = RtsDisable;
    std::uint32_t XonLim = 0;
    std::uint32_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = 0;  // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = OneStopBit;
    char XonChar = 17;
    char XoffChar = 19;

    friend bool operator==(const TDeviceControlBlock&, const TDeviceControlBlock&) = default;
};

// Device status: error flags, bytes in the driver's input queue, bytes waiting
// in the dispatcher's output buffer.
struct TDeviceStatus {
    std::uint32_t Errors = 0;
    std::uint32_t InQueue = 0;
    std::uint32_t OutQueue = 0;
};

// Escape functions for DeviceEscape.
enum : int { efSetRTS = 3, efClrRTS = 4, efSetDTR = 5, efClrDTR = 6 };

// What a port keeps of the dispatcher's triggers across a close and reopen.
struct TTriggerSnapshot {
    std::uint16_t AvailThreshold = 0;
};

class TVeltBaseDispatcher {
public:
    // A notification handler called on the dispatch thread: message (vmAvail
    // ...), trigger handle, data (vmAvail: the byte count).
    using TNotifyProc = std::function<void(unsigned message, unsigned trigger, unsigned data)>;

    explicit TVeltBaseDispatcher(TComponent* owner = nullptr);
    virtual ~TVeltBaseDispatcher();
    TVeltBaseDispatcher(const TVeltBaseDispatcher&) = delete;
    TVeltBaseDispatcher& operator=(const TVeltBaseDispatcher&) = delete;

    TComponent* Owner() const { return owner_; }
    int Handle() const { return handle_; }  // index in the DispatcherRegistry
    // Unique per activation in the process: a late notification compares it,
    // since a later dispatcher may take the same registry slot.
    std::uint64_t Activation() const { return activation_.load(); }

    // ---- Life ----
    // Opens the device, sizes the buffers, sets DTR/RTS and the line, starts
    // the threads. A failure leaves the dispatcher released (no thread, no
    // descriptor) and returns the code: minus the system error (-2 no such
    // device, -5 in use), or a line-setting code such as ecBaudRate.
    [[nodiscard]] int Activate(const std::string& device, int baud, int parity, int dataBits, int stopBits,
                               std::uint32_t inSize, std::uint32_t outSize, bool dtr, bool rts);
    // Flushes both directions (an unsent block is abandoned), stops the
    // threads, closes the device and frees the buffers. Safe to call twice.
    void Deactivate();
    bool ThreadsActive() const { return threadsActive_.load(); }
    int RunningThreads() const { return runningThreads_.load(); }
    // True after Deactivate was called during a notification: the dispatch
    // thread finishes the release when it ends.
    bool ClosePending() const { return closePending_.load(); }

    // ---- Input (any thread; never waits for the line) ----
    bool HasInput();
    // 0 or ecBufferIsEmpty; `mark`, when given, gets the byte's arrival and badness.
    [[nodiscard]] int TakeInput(std::uint8_t& byte, TInputMark* mark = nullptr);
    [[nodiscard]] int PeekInput(std::uint32_t n, std::uint8_t& byte);  // n-th waiting byte, 1 = oldest
    // Takes up to `max` waiting bytes at once, oldest first; returns how many.
    // `marks`, when given, gets one mark per byte taken.
    std::size_t TakeInputBlock(std::uint8_t* bytes, std::size_t max, TInputMark* marks = nullptr);
    std::uint32_t InputCount();
    [[nodiscard]] int PurgeInput();
    // When the last bytes read from the device arrived (steady clock; the
    // clock's epoch before any). Written by whichever thread reads the
    // device, without a lock.
    std::chrono::steady_clock::time_point LastArrival() const
    {
        return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(lastArrival_.load()));
    }

    // ---- Output ----
    // Queues all `count` bytes or none: ecOutputBufferTooSmall when they do not
    // fit, ecPutBlockFail when the device refuses them.
    // ecListenOnly, with nothing queued, while listen-only is on.
    [[nodiscard]] int QueueBlock(const std::uint8_t* bytes, std::size_t count);
    // A listening port sends nothing: every block offered is refused.
    void SetListenOnly(bool on) { listenOnly_ = on; }
    bool ListenOnly() const { return listenOnly_; }
    std::uint32_t OutputUsed();
    std::uint32_t OutputSize() const { return outputSize_; }
    // Drops what waits for output; an unfinished write is abandoned.
    [[nodiscard]] int PurgeOutput();

    // ---- Line ----
    // KeepBaud/KeepParity/KeepDataBits/KeepStopBits keep the current value.
    // Waits for the output to drain and for 18 characters' time before it
    // changes anything, and the device applies it after the bytes it still
    // holds; returns 0 at once when nothing changes.
    [[nodiscard]] int ApplyLine(int baud, int parity, int dataBits, int stopBits);
    [[nodiscard]] int SetDtrLine(bool on);  // ecUnderFlowControl when flow control owns DTR
    [[nodiscard]] int SetRtsLine(bool on);
    bool DtrState() const { return dtrState_; }
    bool RtsState() const { return rtsState_; }
    // Flags hfUseDTR | hfUseRTS | hfRequireDSR | hfRequireCTS. ecBadArgument
    // unless resume <= full <= input size.
    [[nodiscard]] int SetHardwareFlow(std::uint32_t full, std::uint32_t resume, int flags);
    // Flags sfTransmit | sfReceive; same check.
    [[nodiscard]] int SetSoftwareFlow(std::uint32_t full, std::uint32_t resume, int flags);
    [[nodiscard]] int RemoveSoftwareFlow();
    [[nodiscard]] int SetXonXoffChars(char xon, char xoff);
    void SetRS485(bool on);
    bool RS485() const { return rs485_; }
    void SetPriorityBoost(std::uint8_t boost);
    TDeviceControlBlock ControlBlock();
    std::uint32_t LastBaud() const { return lastBaud_; }

    // ---- Status ----
    // The line-error word, refreshed from the device first.
    std::uint32_t LineErrors();
    // Reads and clears the line-error word; `lineBreak` tells whether it held a break.
    std::uint32_t TakeLineErrors(bool& lineBreak);
    // The modem-status byte, refreshed from the device (change bits included).
    std::uint8_t ModemStatus();
    // True once the device has gone away (hang-up, adapter pulled, far side
    // ended): the threads stop waiting on it, the dispatcher stays closable.
    bool DeviceGone() const { return deviceGone_.load(); }
    // The system error that marked the device gone (0 for a plain hang-up).
    int DeviceGoneError() const { return deviceGoneError_.load(); }

    // ---- Options ----
    void SetOptionFlag(std::uint32_t flag);
    void ClearOptionFlag(std::uint32_t flag);
    std::uint32_t OptionFlags() const { return optionFlags_; }

    // ---- Notifications ----
    // vmAvail is sent when at least this many bytes wait and the buffer
    // changed since the last one; 0 switches it off.
    void SetAvailThreshold(std::uint16_t count);
    std::uint16_t AvailThreshold() const { return availThreshold_.load(); }
    // Handlers called on the dispatch thread; returns an id for removal.
    int AddNotifyProc(TNotifyProc proc);
    void RemoveNotifyProc(int id);
    // Window handlers get each notification queued to their owner thread and
    // the dispatch thread waits up to 3 s for it to be handled.
    void AddNotifyQueue(TVeltNotifyQueue* window);
    void RemoveNotifyQueue(TVeltNotifyQueue* window);
    // 0 recompute, 1 the component's own handler on, 2 off.
    virtual void SetHandlerUse(int use);
    bool NotificationInProgress() const { return notifying_.load(); }
    TTriggerSnapshot SaveTriggers() const;
    void RestoreTriggers(const TTriggerSnapshot& snapshot);

    // ---- Trace ('T' sent, 'R' received, one entry per byte) ----
    [[nodiscard]] int StartTrace(std::uint32_t entries);  // ecBadArgument above MaxTraceSize
    void StopTrace();                                     // discards the buffer
    void PauseTrace();
    void ResumeTrace();
    [[nodiscard]] int ClearTrace();  // ecTracingNotEnabled when none
    // Writes the trace as text (overwriting or appending); the trace stops.
    [[nodiscard]] int DumpTrace(const std::string& fileName, bool append, bool hex, bool allHex);
    bool TraceActive() const;

    // ---- Dispatch log (reads and writes with their bytes and times) ----
    [[nodiscard]] int StartLog(std::uint32_t bytes);  // ecBadArgument above MaxLogSize
    void StopLog();
    void PauseLog();
    void ResumeLog();
    [[nodiscard]] int ClearLog();  // ecLoggingNotEnabled when none
    [[nodiscard]] int DumpLog(const std::string& fileName, bool append, bool hex, bool allHex);
    bool LogActive() const;

protected:
    // ---- Device operations (the device layer) ----
    [[nodiscard]] virtual int DeviceEscape(int function) = 0;
    // Discards the driver's queue: 0 output, 1 input. 0 or minus the system error.
    [[nodiscard]] virtual int DevicePurge(int queue) = 0;
    // Error flags (low 5 bits) and the driver's input count; OutQueue is filled
    // by the base from the output buffer.
    virtual std::uint32_t DeviceStatus(TDeviceStatus& status) = 0;
    [[nodiscard]] virtual int DeviceClearError(int code);
    [[nodiscard]] virtual int DeviceGetState(TDeviceControlBlock& block) = 0;
    // Reads what is there, at most `count`; never waits. Negative on failure.
    [[nodiscard]] virtual int DeviceRead(std::uint8_t* buffer, std::size_t count) = 0;
    // Reads into two pieces in order (the second only when the first fills);
    // the base reads them one by one.
    [[nodiscard]] virtual int DeviceReadPieces(std::uint8_t* first, std::size_t firstCount, std::uint8_t* second,
                                               std::size_t secondCount);
    // The device reported input but a read found none.
    virtual void DeviceNoInputOnReadiness() {}
    // afterOutput: the device takes the settings once it has sent what it holds.
    [[nodiscard]] virtual int DeviceSetState(const TDeviceControlBlock& block, bool afterOutput) = 0;
    // Copies into the output buffer and wakes the output thread.
    [[nodiscard]] virtual int DeviceWrite(const std::uint8_t* bytes, std::size_t count);
    // Blocks until the device has something to report or DeviceWakeWaiter is
    // called; false when the wait failed. `mask` gets the ev... bits.
    virtual bool DeviceWaitEvent(std::uint32_t& mask) = 0;
    virtual bool DeviceSetQueues(std::uint32_t inSize, std::uint32_t outSize) = 0;
    virtual void FreeResources();
    virtual void StartThreads();
    virtual void StopThreads();
    // Opens the device. 0 or a negative result code.
    [[nodiscard]] virtual int DeviceOpen(const std::string& name, std::uint32_t inSize, std::uint32_t outSize) = 0;
    [[nodiscard]] virtual int DeviceClose() = 0;
    [[nodiscard]] virtual int DeviceYield();
    // Writes two pieces in order (the second may be empty) in as few calls as
    // the device allows, waiting only while it takes nothing; gives up when
    // `abort` is set. Returns the bytes written (possibly fewer than offered),
    // TransmitAbandoned, or a negative code.
    static constexpr int TransmitAbandoned = -0x7FFF;
    [[nodiscard]] virtual int DeviceTransmit(const std::uint8_t* first, std::size_t firstCount,
                                             const std::uint8_t* second, std::size_t secondCount,
                                             TVeltEvent& abort) = 0;
    // Makes a pending or the next DeviceWaitEvent return.
    virtual void DeviceWakeWaiter() = 0;
    // The modem lines CTS, DSR, RI, DCD in bits 4..7.
    virtual std::uint8_t DeviceModemLines() = 0;
    virtual void SetThreadPriorities() {}

    // For the device layer: the device has gone away (error 0 for a hang-up).
    void MarkDeviceGone(int error);
    // For the device layer, while it reads (DeviceRead, DeviceReadPieces):
    // byte `index` of what this read returns came with a parity or framing
    // error. The mark travels with the byte through the input buffer.
    void MarkBadInRead(std::size_t index);
    // For the device layer: the dispatcher's input buffer has no room, so the
    // device need not be watched for input until TakeInput makes room.
    bool InputBufferFull();
    // The output buffer's fill (output size when full).
    std::uint32_t OutputFill() const;
    // For destructors: waits until a release left to the dispatch thread is done.
    void WaitForPendingClose();
    bool DeviceIsOpen() const { return deviceOpen_.load(); }

    std::recursive_mutex DataLock;
    std::recursive_mutex OutputLock;
    std::recursive_mutex InputLock;
    // Held by whichever thread reads the device into the input buffer (the
    // event thread, or the dispatch thread's fallback); taken before the others.
    std::mutex ReadLock;
    // Leaf lock: a stop from another thread sets the events while the dispatch
    // thread may be releasing them after a close requested during a handler.
    std::mutex SignalLock;

private:
    struct TTraceBuffer;
    struct TLogBuffer;
    struct TNotifyState;

    // Dispatch-log kinds and sub-kinds (texts at 15001 + kind, 15100 + sub-kind).
    enum { LogDispatch = 0, LogReadCom = 1, LogWriteCom = 2 };

    [[nodiscard]] int WriteControlBlock(TDeviceControlBlock& block, bool afterOutput = false);
    // ApplyLine; `always` writes the whole block even when the line matches.
    [[nodiscard]] int SetLine(int baud, int parity, int dataBits, int stopBits, bool always);
    [[nodiscard]] int SetModemLine(bool on, const bool& underFlow, bool& state, int setFunction, int clearFunction);
    void RefreshLineErrors();
    void RefreshModemStatus();
    void AddTrace(char direction, const std::uint8_t* bytes, std::size_t count);
    void AddLog(int kind, int subKind, std::uint32_t value, const std::uint8_t* bytes, std::size_t count);
    std::uint32_t WaitingInput() const;
    bool ReadsInAvailMode() const;
    std::uint32_t HiddenInput() const;
    TInputMark MarkAt(std::uint32_t at) const;  // of the buffer's byte at `at` (InputLock)
    std::uint32_t VisibleInput() const;
    void InputRoomMade();
    void SignalStop();
    void Release();

    // Thread bodies and their helpers (VeltDispatchThreads.cpp).
    void EventThreadBody();
    void DispatchThreadBody();
    void OutputThreadBody();
    // True when more is waiting to be served at once.
    bool ServiceEvents(bool fallback);
    // Bytes read into the input buffer; NoRoom when no read was made.
    int PullDeviceInput();
    static constexpr int NoRoom = -1;
    void WriteWaitingOutput();
    void AdvanceOutputTail(std::uint32_t written, std::uint64_t generation);
    void ThreadEnded();
    void NotifyAvail();
    bool AvailThresholdReached();  // changed input waits, at least the threshold
    void NotifyHandlers(unsigned message, unsigned trigger, unsigned data);

    TComponent* owner_;
    int handle_ = -1;
    std::atomic<std::uint64_t> activation_{0};
    std::atomic<bool> deviceOpen_{false};

    // Line, modem and status state (DataLock).
    std::atomic<std::uint32_t> lineError_{0};
    std::uint32_t inputQueueSize_ = 0;
    std::uint32_t outputSize_ = 0;
    std::uint8_t modemStatus_ = 0;
    TDeviceStatus status_;
    TDeviceControlBlock block_;
    std::uint32_t lastBaud_ = 0;
    std::uint32_t optionFlags_ = 0;
    bool dtrState_ = false;
    bool dtrFlow_ = false;
    bool rtsState_ = false;
    bool rtsFlow_ = false;
    bool rs485_ = false;
    std::uint8_t priorityBoost_ = 0;
    std::atomic<bool> deviceGone_{false};
    std::atomic<bool> listenOnly_{false};
    std::atomic<int> deviceGoneError_{0};
    std::atomic<std::uint32_t> eventMask_{0};
    bool trailingRing_ = false;

    // Notifications.
    std::unique_ptr<TNotifyState> notify_;
    std::atomic<std::uint16_t> availThreshold_{0};
    std::atomic<bool> notifying_{false};
    std::atomic<bool> notifyWanted_{false};   // a handler wants notifications
    std::atomic<bool> dispatchWoken_{false};  // a wake of the dispatch thread is pending

    // Buffers.
    std::vector<std::uint8_t> outputBuffer_;
    std::uint32_t outHead_ = 0;
    std::uint32_t outTail_ = 0;
    bool outFull_ = false;
    std::uint64_t outGeneration_ = 0;  // counts output purges
    bool outputIdle_ = true;           // the output thread waits for OutputReady
    std::vector<std::uint8_t> inputBuffer_;
    std::uint32_t inHead_ = 0;
    std::uint32_t inTail_ = 0;
    std::atomic<bool> inFull_{false};
    std::atomic<std::chrono::steady_clock::rep> lastArrival_{0};
    bool inputChanged_ = false;  // input arrived since the last avail notification
    // Beside each byte of the input buffer: when it was read, and whether it
    // came bad. Written with the byte by the holder of ReadLock.
    std::vector<std::chrono::steady_clock::rep> inputTimes_;
    std::vector<std::uint8_t> inputBad_;
    std::vector<std::uint32_t> readBad_;  // the read under way: its bad bytes
    std::size_t readOffset_ = 0;          // where the device layer's DeviceRead writes in it

    // Threads and their events.
    std::atomic<bool> stop_{false};
    std::atomic<bool> closePending_{false};
    std::atomic<bool> threadsActive_{false};
    std::atomic<int> runningThreads_{0};
    std::atomic<bool> outputRunning_{false};
    std::thread eventThread_;
    std::thread dispatchThread_;
    std::thread outputThread_;
    std::unique_ptr<TVeltEvent> eventSignal_;
    std::unique_ptr<TVeltEvent> ackSignal_;
    std::unique_ptr<TVeltEvent> outputReady_;
    std::unique_ptr<TVeltEvent> purgeSignal_;
    std::unique_ptr<TVeltEvent> purgeAck_;

    // Trace and log (DataLock).
    std::unique_ptr<TTraceBuffer> trace_;
    std::unique_ptr<TLogBuffer> log_;
};

// The dispatcher over this system's serial devices (chosen by the build).
std::unique_ptr<TVeltBaseDispatcher> MakeNativeDispatcher(TComponent* owner = nullptr);
