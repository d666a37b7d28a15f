// The serial port component: holds one port's settings, opens and closes the
// device through a dispatcher that owns the handle, the buffers and the worker
// threads, and offers byte-level operations to the code above it. Failing
// result codes of the dispatcher are raised as EVeltException family members.
//
// All members are called from the main (GUI) thread. The dispatcher's threads
// never call into the component directly: their notifications are queued and
// run on the main thread (see RunPendingNotifications).
#pragma once

#include "base/ByteString.h"
#include "VeltComponent.h"
#include "VeltMisc.h"
#include "VeltPortTypes.h"

#include <cstddef>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TVeltBaseDispatcher;
class TVeltCustomComPort;
class TVeltNotifyQueue;
struct TTriggerSnapshot;

// Root of the library's components: adds the read-only version text.
class TVeltBaseComponent : public TComponent {
public:
    explicit TVeltBaseComponent(TComponent* owner = nullptr) : TComponent(owner) {}
    std::string Version() const { return VeltVersion; }
    void SetVersion(const std::string&) {}  // read-only; the value is ignored
};

// Asks the user for a port when ComNumber is 0 at open. Returns true and sets
// `comNumber` when a port was chosen, false when the user cancelled.
using TPortPrompt = std::function<bool(int& comNumber)>;

// Builds the dispatcher for an open instead of the platform's own one.
using TDispatcherFactory = std::function<std::unique_ptr<TVeltBaseDispatcher>(TVeltCustomComPort& port)>;

// Told when the port opens (true) or closes (false).
using TPortListener = std::function<void(TVeltCustomComPort& port, bool opened)>;

class TVeltCustomComPort : public TVeltBaseComponent {
public:
    using TNotifyEvent = std::function<void(TVeltCustomComPort&)>;
    using TTriggerEvent = std::function<void(TVeltCustomComPort&, unsigned message, unsigned trigger, unsigned data)>;
    using TTriggerAvailEvent = std::function<void(TVeltCustomComPort&, unsigned count)>;
    using TTriggerHandleEvent = std::function<void(TVeltCustomComPort&, unsigned trigger)>;
    using TTriggerLineErrorEvent = std::function<void(TVeltCustomComPort&, unsigned lineError, bool lineBreak)>;
    using TTriggerStatusEvent = std::function<void(TVeltCustomComPort&)>;
    using TWaitCharEvent = std::function<void(TVeltCustomComPort&, char c)>;

    explicit TVeltCustomComPort(TComponent* owner = nullptr);
    ~TVeltCustomComPort() override;  // closes an open port first

    // ---- Settings (getter / setter pairs) ----
    TDeviceLayer DeviceLayer() const { return deviceLayer_; }
    void SetDeviceLayer(TDeviceLayer layer);
    std::uint16_t ComNumber() const { return comNumber_; }
    void SetComNumber(std::uint16_t n);  // open: close, store, reopen (raises when the reopen fails)
    std::int32_t Baud() const { return baud_; }
    void SetBaud(std::int32_t baud);
    bool PromptForPort() const { return promptForPort_; }
    void SetPromptForPort(bool on) { promptForPort_ = on; }
    TParity Parity() const { return parity_; }
    void SetParity(TParity parity);
    std::uint16_t DataBits() const { return dataBits_; }
    void SetDataBits(std::uint16_t bits);
    std::uint16_t StopBits() const { return stopBits_; }
    void SetStopBits(std::uint16_t bits);
    std::uint16_t InSize() const { return inSize_; }
    void SetInSize(std::uint16_t size);
    std::uint16_t OutSize() const { return outSize_; }
    void SetOutSize(std::uint16_t size);
    bool AutoOpen() const { return autoOpen_; }
    void SetAutoOpen(bool on) { autoOpen_ = on; }
    bool Open() const { return open_; }
    void SetOpen(bool open);
    bool DTR() const { return dtr_; }
    void SetDTR(bool on);
    bool RTS() const { return rts_; }
    void SetRTS(bool on);
    THWFlowOptionSet HWFlowOptions() const { return hwFlow_; }
    void SetHWFlowOptions(THWFlowOptionSet options);
    TSWFlowOptions SWFlowOptions() const { return swFlow_; }
    void SetSWFlowOptions(TSWFlowOptions options);
    char XOnChar() const { return xonChar_; }
    void SetXOnChar(char c);
    char XOffChar() const { return xoffChar_; }
    void SetXOffChar(char c);
    std::uint16_t BufferFull() const { return bufferFull_; }
    void SetBufferFull(std::uint16_t mark);
    std::uint16_t BufferResume() const { return bufferResume_; }
    void SetBufferResume(std::uint16_t mark);
    TTraceLogState Tracing() const { return tracing_; }
    void SetTracing(TTraceLogState state);
    std::uint32_t TraceSize() const { return traceSize_; }
    void SetTraceSize(std::uint32_t size);
    const std::string& TraceName() const { return traceName_; }
    void SetTraceName(const std::string& name);
    bool TraceHex() const { return traceHex_; }
    void SetTraceHex(bool on) { traceHex_ = on; }
    bool TraceAllHex() const { return traceAllHex_; }
    void SetTraceAllHex(bool on) { traceAllHex_ = on; }
    TTraceLogState Logging() const { return logging_; }
    void SetLogging(TTraceLogState state);
    std::uint32_t LogSize() const { return logSize_; }
    void SetLogSize(std::uint32_t size);
    const std::string& LogName() const { return logName_; }
    void SetLogName(const std::string& name);
    bool LogHex() const { return logHex_; }
    void SetLogHex(bool on) { logHex_ = on; }
    bool LogAllHex() const { return logAllHex_; }
    void SetLogAllHex(bool on) { logAllHex_ = on; }
    bool UseMSRShadow() const { return useMSRShadow_; }
    virtual void SetUseMSRShadow(bool on);
    bool UseEventWord() const { return useEventWord_; }
    void SetUseEventWord(bool on);
    std::uint16_t CommNotificationLevel() const { return commNotificationLevel_; }
    void SetCommNotificationLevel(std::uint16_t level) { commNotificationLevel_ = level; }
    TTapiMode TapiMode() const { return tapiMode_; }
    void SetTapiMode(TTapiMode mode) { tapiMode_ = mode; }
    bool RS485Mode() const { return rs485Mode_; }
    void SetRS485Mode(bool on);
    std::uint16_t AvailThreshold() const { return availThreshold_; }
    void SetAvailThreshold(std::uint16_t count);
    std::uint8_t PriorityBoost() const { return priorityBoost_; }
    void SetPriorityBoost(std::uint8_t boost);
    // A port for listening: WriteString raises EListenOnly and nothing reaches
    // the device. Takes effect at once on an open port.
    bool ListenOnly() const { return listenOnly_; }
    void SetListenOnly(bool on);

    // ---- Events ----
    void SetOnTrigger(TTriggerEvent handler);
    void SetOnTriggerAvail(TTriggerAvailEvent handler);
    void SetOnTriggerData(TTriggerHandleEvent handler);
    void SetOnTriggerStatus(TTriggerHandleEvent handler);
    void SetOnTriggerTimer(TTriggerHandleEvent handler);
    void SetOnTriggerLineError(TTriggerLineErrorEvent handler);
    void SetOnTriggerModemStatus(TTriggerStatusEvent handler);
    void SetOnTriggerOutbuffFree(TTriggerStatusEvent handler);
    void SetOnTriggerOutbuffUsed(TTriggerStatusEvent handler);
    void SetOnTriggerOutSent(TTriggerStatusEvent handler);
    void SetOnWaitChar(TWaitCharEvent handler) { onWaitChar_ = std::move(handler); }
    void SetOnLinkOpened(TNotifyEvent handler) { onLinkOpened_ = std::move(handler); }
    void SetOnLinkClosed(TNotifyEvent handler) { onLinkClosed_ = std::move(handler); }

    // ---- Port selection for ComNumber 0 ----
    // This port's own prompt; when none is set the process-wide one is used.
    void SetOnPromptForPort(TPortPrompt prompt) { prompt_ = std::move(prompt); }
    // The process-wide prompt (the application installs its "Select Port" dialog).
    static void SetDefaultPortPrompt(TPortPrompt prompt);

    void SetDispatcherFactory(TDispatcherFactory factory) { dispatcherFactory_ = std::move(factory); }

    // ---- Operations ----
    virtual void OpenPort();   // raises on failure and leaves the port Closed
    virtual void ClosePort();  // never raises on an open or closed port
    // Queues all bytes for sending; "" does nothing. Raises EOutputBufferTooSmall
    // (nothing queued) when they do not fit, ECommNotOpen when closed and AutoOpen is off,
    // EListenOnly when the port listens.
    void WriteString(const TByteString& s);
    bool InputAvailable();
    std::uint8_t ReadByte();  // raises EBufferIsEmpty when nothing waits
    // The same, and when the byte arrived and whether the driver reported it
    // received with a parity or framing error.
    std::uint8_t ReadByte(TInputMark& mark);
    // When the newest waiting bytes arrived from the device (the steady
    // clock's epoch while closed or before any input).
    std::chrono::steady_clock::time_point LastInputArrival() const;

    // True when the device has gone away while open (hang-up, adapter pulled,
    // far side ended). The port stays open and closable; close and reopen to
    // recover. False when closed.
    bool DeviceGone() const;
    // The system's error that told of it (0: none or not gone).
    int DeviceGoneError() const;

    TLinkState LinkState() const { return linkState_; }
    TVeltBaseDispatcher* Dispatcher() const { return dispatcher_.get(); }
    // The dispatcher, opening the port first when AutoOpen allows it.
    TVeltBaseDispatcher* AcquireDispatcher();
    // As AcquireDispatcher, but raises ECommNotOpen when there is still none.
    TVeltBaseDispatcher& RequireDispatcher();

    // Listeners are told after an open and before a close, last registered first.
    // Returns an id for RemoveListener.
    int AddListener(TPortListener listener);
    void RemoveListener(int id);

    // Takes over all settings, listeners and handlers of `other` (and a copy of
    // its triggers when it is open); this port is closed first.
    void Assign(const TVeltCustomComPort& other);

    // ---- Notifications from the dispatcher's threads ----
    // They are queued for the main thread (trigger events, the completion of
    // a deferred close): one queue for all ports of the process. The
    // application runs them from its event loop; the serial layer never waits
    // for it. Returns how many ran.
    static std::size_t RunPendingNotifications();
    // Called on the queuing thread whenever a notification is queued (the
    // application wakes its event loop here). Set it before opening ports.
    static void SetOnNotificationQueued(std::function<void()> hook);
    // Receives exceptions that cannot propagate to a caller: those raised by
    // event handlers run from the queue, and a failed open at the end of
    // loading stored settings. Without a handler they are dropped.
    static void SetOnException(std::function<void(std::exception_ptr)> handler);

protected:
    virtual std::unique_ptr<TVeltBaseDispatcher> MakeDispatcher();
    virtual void LayerChanged() {}
    [[nodiscard]] virtual int StartDevice();
    virtual void AttachNotifyWindow(bool attach);
    virtual void CheckComNumber();
    virtual void UpdateTriggerUse();
    virtual void NotifyPortOpened();
    virtual void NotifyPortClosed();
    void Loaded() override;

    // Trigger dispatchers: each calls its event only when assigned.
    virtual void DoTrigger(unsigned message, unsigned trigger, unsigned data);
    virtual void DoTriggerAvail(unsigned count);
    virtual void DoTriggerData(unsigned trigger);
    virtual void DoTriggerStatus(unsigned trigger);
    virtual void DoTriggerTimer(unsigned trigger);
    virtual void DoTriggerLineError(unsigned lineError, bool lineBreak);
    virtual void DoTriggerModemStatus();
    virtual void DoTriggerOutbuffFree();
    virtual void DoTriggerOutbuffUsed();
    virtual void DoTriggerOutSent();
    virtual void DoWaitChar(char c);

private:
    struct TListener {
        int id;
        TPortListener callback;
    };

    int Check(int code) const;  // RaiseOnError on behalf of this component
    bool IsOpen() const;        // LinkState Open with a dispatcher
    // True when a setter has nothing to do: same value and no reapply running.
    bool Unchanged(bool equal) const;
    void ApplyLineSettings();
    void DefaultFlowMarks(double fullPart, double resumePart);
    void ReapplyFlow();
    // Runs `apply` with ReapplyAll set, so that setters push unchanged values.
    void WithReapplyAll(const std::function<void()>& apply);
    void ApplyRecorder(TTraceLogState requested, TTraceLogState& state, bool log);
    void ReapplySettings();
    void WaitForDispatcherThreads();
    void FinishClose();
    void TellListeners(bool opened);
    bool AnyTriggerEvent() const;
    void HandleNotification(unsigned message, unsigned wParam, unsigned data);
    static TVeltNotifyQueue& NotifyQueue();
    static void WindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    static void ReportException();

    TDeviceLayer deviceLayer_ = dlWin32;
    std::uint16_t comNumber_ = 0;
    std::int32_t baud_ = 19200;
    bool promptForPort_ = true;
    TParity parity_ = pNone;
    std::uint16_t dataBits_ = 8;
    std::uint16_t stopBits_ = 1;
    std::uint16_t inSize_ = 4096;
    std::uint16_t outSize_ = 4096;
    bool autoOpen_ = true;
    bool open_ = false;
    bool dtr_ = true;
    bool rts_ = true;
    THWFlowOptionSet hwFlow_ = 0;
    TSWFlowOptions swFlow_ = swfNone;
    char xonChar_ = 17;
    char xoffChar_ = 19;
    std::uint16_t bufferFull_ = 0;
    std::uint16_t bufferResume_ = 0;
    TTraceLogState tracing_ = tlOff;
    std::uint32_t traceSize_ = 10000;
    std::string traceName_ = "VELT.TRC";
    bool traceHex_ = true;
    bool traceAllHex_ = false;
    TTraceLogState logging_ = tlOff;
    std::uint32_t logSize_ = 10000;
    std::string logName_ = "VELT.LOG";
    bool logHex_ = true;
    bool logAllHex_ = false;
    bool useMSRShadow_ = true;
    bool useEventWord_ = true;
    std::uint16_t commNotificationLevel_ = 10;
    TTapiMode tapiMode_ = tmAuto;
    bool rs485Mode_ = false;
    std::uint16_t availThreshold_ = 1;
    std::uint8_t priorityBoost_ = 0;
    bool listenOnly_ = false;
    std::uint16_t tapiHandle_ = 0;

    TLinkState linkState_ = TLinkState::Closed;
    bool reapplyAll_ = false;
    bool reopenPending_ = false;
    bool openAfterLoad_ = false;

    std::unique_ptr<TVeltBaseDispatcher> dispatcher_;
    std::unique_ptr<TTriggerSnapshot> savedTriggers_;  // triggers kept across a close
    std::vector<TListener> listeners_;
    int nextListenerId_ = 1;
    TPortPrompt prompt_;
    TDispatcherFactory dispatcherFactory_;

    TTriggerEvent onTrigger_;
    TTriggerAvailEvent onTriggerAvail_;
    TTriggerHandleEvent onTriggerData_;
    TTriggerHandleEvent onTriggerStatus_;
    TTriggerHandleEvent onTriggerTimer_;
    TTriggerLineErrorEvent onTriggerLineError_;
    TTriggerStatusEvent onTriggerModemStatus_;
    TTriggerStatusEvent onTriggerOutbuffFree_;
    TTriggerStatusEvent onTriggerOutbuffUsed_;
    TTriggerStatusEvent onTriggerOutSent_;
    TWaitCharEvent onWaitChar_;
    TNotifyEvent onLinkOpened_;
    TNotifyEvent onLinkClosed_;
};

// The component as the program uses it: publishes everything above.
class TVeltComPort : public TVeltCustomComPort {
public:
    explicit TVeltComPort(TComponent* owner = nullptr) : TVeltCustomComPort(owner) {}
};
