// The port component's link: opening and closing the device, the byte
// operations, listeners, the port prompt, and the notifications that the
// dispatcher's threads queue for the main thread.
#include "VeltPort.h"

#include "DispatcherRegistry.h"
#include "PortTable.h"
#include "VeltDispatch.h"
#include "VeltExcept.h"
#include "VeltMisc.h"
#include "VeltNotify.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

TPortPrompt& DefaultPrompt()
{
    static TPortPrompt prompt;
    return prompt;
}

std::function<void(std::exception_ptr)>& ExceptionHandler()
{
    static std::function<void(std::exception_ptr)> handler;
    return handler;
}

// How deeply the main thread is inside the notification queue's procedure.
// A close requested from there must not wait for the dispatch thread, which
// is waiting for that very procedure to return.
int windowProcDepth = 0;

// Longest time a close waits for the dispatch thread to leave a notification.
constexpr int CloseWaitMs = 5000;

}  // namespace

// The notification "window" of all ports: one queue run on the main thread.
TVeltNotifyQueue& TVeltCustomComPort::NotifyQueue()
{
    static TVeltNotifyQueue window(
        [](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) { WindowProc(message, wParam, lParam); });
    return window;
}

void TVeltCustomComPort::SetDefaultPortPrompt(TPortPrompt prompt) { DefaultPrompt() = std::move(prompt); }
void TVeltCustomComPort::SetOnException(std::function<void(std::exception_ptr)> handler)
{
    ExceptionHandler() = std::move(handler);
}
void TVeltCustomComPort::SetOnNotificationQueued(std::function<void()> hook)
{
    NotifyQueue().SetOnQueued(std::move(hook));
}
std::size_t TVeltCustomComPort::RunPendingNotifications() { return NotifyQueue().ProcessMessages(); }

void TVeltCustomComPort::ReportException()
{
    if (ExceptionHandler()) ExceptionHandler()(std::current_exception());
}

// ---- Open ----

void TVeltCustomComPort::SetOpen(bool open)
{
    if (open == open_) return;
    if (Loading() || Designing()) {
        open_ = open;
        if (open) openAfterLoad_ = true;
        return;
    }
    if (!open)
        ClosePort();
    else if (linkState_ == TLinkState::Closed)
        OpenPort();
    else
        reopenPending_ = true;  // a deferred close is still finishing
}

void TVeltCustomComPort::Loaded()
{
    if (!open_ && !openAfterLoad_) return;
    open_ = false;
    openAfterLoad_ = false;
    try {
        OpenPort();
    } catch (...) {
        open_ = false;
        ReportException();
    }
}

void TVeltCustomComPort::CheckComNumber()
{
    if (comNumber_ != 0) return;
    if (!promptForPort_) throw ENoPortSelected(ecNoPortSelected);
    const TPortPrompt& prompt = prompt_ ? prompt_ : DefaultPrompt();
    int chosen = 0;
    if (!prompt || !prompt(chosen) || chosen < 1 || chosen > 0xFFFF) throw ENoPortSelected(ecNoPortSelected);
    comNumber_ = static_cast<std::uint16_t>(chosen);
}

std::unique_ptr<TVeltBaseDispatcher> TVeltCustomComPort::MakeDispatcher()
{
    if (dispatcherFactory_) return dispatcherFactory_(*this);
    if (deviceLayer_ != dlWin32) throw ENullApi(ecNullApi);
    return MakeNativeDispatcher(this);
}

int TVeltCustomComPort::StartDevice()
{
    const std::string device = porttable::ResolveComPort(comNumber_);
    if (device.empty()) return ecFileNotFound;
    return dispatcher_->Activate(device, baud_, parity_, dataBits_, stopBits_, inSize_, outSize_, dtr_, rts_);
}

void TVeltCustomComPort::OpenPort()
{
    if (linkState_ == TLinkState::Open) return;
    if (linkState_ == TLinkState::Closing) {  // opens when the deferred close has finished
        reopenPending_ = true;
        return;
    }
    if (tapiMode_ != tmOn) CheckComNumber();
    dispatcher_ = MakeDispatcher();
    if (!dispatcher_) throw ENullApi(ecNullApi);
    dispatcher_->SetListenOnly(listenOnly_);
    try {
        if (tapiMode_ == tmOn && tapiHandle_ == 0) Check(ecNotOpenedByTapi);
        int code = StartDevice();
        if (code == ecAccessDenied) code = ecAlreadyOpen;
        if (code == ecFileNotFound || code == ecPathNotFound) code = ecBadId;
        if (code != ecOK) {
            Check(code);
            throw EVeltException(code);  // reached only while loading
        }
        linkState_ = TLinkState::Open;
        UpdateTriggerUse();
        ReapplySettings();
    } catch (...) {
        if (dispatcher_) dispatcher_->Deactivate();
        dispatcher_.reset();
        linkState_ = TLinkState::Closed;
        throw;
    }
    open_ = true;
    AttachNotifyWindow(true);
    if (savedTriggers_) {
        dispatcher_->RestoreTriggers(*savedTriggers_);
        savedTriggers_.reset();
    }
    NotifyPortOpened();
}

// Pushes every setting to the fresh dispatcher, in a fixed order.
void TVeltCustomComPort::ReapplySettings()
{
    WithReapplyAll([this] {
        const TTraceLogState trace = tracing_, log = logging_;
        tracing_ = logging_ = tlOff;  // the fresh dispatcher records nothing yet
        SetTracing(trace);
        SetLogging(log);
        SetHWFlowOptions(hwFlow_);
        SetSWFlowOptions(swFlow_);
        SetXOnChar(xonChar_);
        SetXOffChar(xoffChar_);
        SetAvailThreshold(availThreshold_);
        SetDTR(dtr_);
        SetRTS(rts_);
        SetUseMSRShadow(useMSRShadow_);
        SetUseEventWord(useEventWord_);
        SetRS485Mode(rs485Mode_);
        SetPriorityBoost(priorityBoost_);
    });
}

// ---- Close ----

void TVeltCustomComPort::ClosePort()
{
    open_ = false;
    reopenPending_ = false;  // an open asked for during a deferred close is cancelled too
    if (linkState_ != TLinkState::Open) return;
    try {
        SetTracing(tlDump);  // writes the files only when recording
        SetLogging(tlDump);
    } catch (...) {
        ReportException();  // a file that cannot be written does not keep the port open
    }
    linkState_ = TLinkState::Closing;
    NotifyPortClosed();
    savedTriggers_ = std::make_unique<TTriggerSnapshot>(dispatcher_->SaveTriggers());
    dispatcher_->Deactivate();
    if (!dispatcher_->ClosePending()) {
        FinishClose();
        return;
    }
    // The dispatch thread is inside a notification and releases the
    // dispatcher when it leaves it.
    if (windowProcDepth > 0) {
        // Called from a handler the dispatch thread waits for: finish later.
        NotifyQueue().Post(vmDeferredClose, 0, static_cast<std::intptr_t>(dispatcher_->Handle()) << 16);
        return;
    }
    WaitForDispatcherThreads();
    FinishClose();
}

// Lets the dispatch thread finish a notification that may be waiting for the
// main thread's notification queue.
void TVeltCustomComPort::WaitForDispatcherThreads()
{
    for (int waited = 0; dispatcher_->ThreadsActive() && waited < CloseWaitMs; ++waited) {
        if (NotifyQueue().ProcessMessages(1) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void TVeltCustomComPort::FinishClose()
{
    AttachNotifyWindow(false);
    dispatcher_.reset();
    linkState_ = TLinkState::Closed;
}

void TVeltCustomComPort::AttachNotifyWindow(bool attach)
{
    if (!dispatcher_) return;
    if (attach)
        dispatcher_->AddNotifyQueue(&NotifyQueue());
    else
        dispatcher_->RemoveNotifyQueue(&NotifyQueue());
}

// ---- Port number ----

void TVeltCustomComPort::SetComNumber(std::uint16_t n)
{
    if (n == comNumber_) return;
    if (linkState_ != TLinkState::Open) {
        comNumber_ = n;
        return;
    }
    const TTraceLogState trace = tracing_, log = logging_;
    SetOpen(false);  // keeps a copy of the triggers for the reopen
    comNumber_ = n;
    SetTracing(trace);
    SetLogging(log);
    SetOpen(true);
}

// ---- Byte operations ----

TVeltBaseDispatcher* TVeltCustomComPort::AcquireDispatcher()
{
    if (!dispatcher_ && !Loading() && !Designing() && linkState_ != TLinkState::Open && autoOpen_) SetOpen(true);
    return dispatcher_.get();
}

TVeltBaseDispatcher& TVeltCustomComPort::RequireDispatcher()
{
    TVeltBaseDispatcher* d = AcquireDispatcher();
    if (!d) {
        Check(ecCommNotOpen);
        throw ECommNotOpen(ecCommNotOpen);  // reached only while loading
    }
    return *d;
}

void TVeltCustomComPort::SetListenOnly(bool on)
{
    listenOnly_ = on;
    if (dispatcher_) dispatcher_->SetListenOnly(on);
}

void TVeltCustomComPort::WriteString(const TByteString& s)
{
    if (s.empty() || linkState_ == TLinkState::Closing) return;
    Check(RequireDispatcher().QueueBlock(s.data(), s.size()));
}

bool TVeltCustomComPort::InputAvailable()
{
    if (linkState_ == TLinkState::Closing) return false;
    return RequireDispatcher().HasInput();
}

std::uint8_t TVeltCustomComPort::ReadByte()
{
    TInputMark mark;
    return ReadByte(mark);
}

std::uint8_t TVeltCustomComPort::ReadByte(TInputMark& mark)
{
    mark = {};
    if (linkState_ == TLinkState::Closing) return 0;
    std::uint8_t byte = 0;
    Check(RequireDispatcher().TakeInput(byte, &mark));
    return byte;
}

bool TVeltCustomComPort::DeviceGone() const { return IsOpen() && dispatcher_->DeviceGone(); }

int TVeltCustomComPort::DeviceGoneError() const { return DeviceGone() ? dispatcher_->DeviceGoneError() : 0; }

std::chrono::steady_clock::time_point TVeltCustomComPort::LastInputArrival() const
{
    return IsOpen() ? dispatcher_->LastArrival() : std::chrono::steady_clock::time_point{};
}

// ---- Listeners ----

int TVeltCustomComPort::AddListener(TPortListener listener)
{
    listeners_.push_back({nextListenerId_, std::move(listener)});
    return nextListenerId_++;
}

void TVeltCustomComPort::RemoveListener(int id)
{
    std::erase_if(listeners_, [id](const TListener& l) { return l.id == id; });
}

void TVeltCustomComPort::TellListeners(bool opened)
{
    const std::vector<TListener> listeners = listeners_;  // a listener may remove itself
    for (auto it = listeners.rbegin(); it != listeners.rend(); ++it)
        if (it->callback) it->callback(*this, opened);
    const TNotifyEvent& event = opened ? onLinkOpened_ : onLinkClosed_;
    if (event) event(*this);
}

void TVeltCustomComPort::NotifyPortOpened() { TellListeners(true); }

void TVeltCustomComPort::NotifyPortClosed()
{
    try {
        TellListeners(false);
    } catch (...) {
        ReportException();  // closing goes on
    }
}

// ---- Notifications ----

void TVeltCustomComPort::WindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (message != vmAvail && message != vmDataTrigger && message != vmTimerTrigger && message != vmStatusTrigger &&
        message != vmDeferredClose)
        return;
    const int handle = static_cast<int>(static_cast<std::uintptr_t>(lParam) >> 16);
    TVeltCustomComPort* port = nullptr;
    DispatcherRegistry::With(handle, [&](TVeltBaseDispatcher* d) {
        if (d) port = dynamic_cast<TVeltCustomComPort*>(d->Owner());
    });
    if (!port || !port->dispatcher_ || port->dispatcher_->Handle() != handle) return;
    ++windowProcDepth;
    try {
        port->HandleNotification(message, static_cast<unsigned>(wParam), static_cast<unsigned>(lParam & 0xFFFF));
    } catch (...) {
        ReportException();
    }
    --windowProcDepth;
}

void TVeltCustomComPort::HandleNotification(unsigned message, unsigned wParam, unsigned data)
{
    if (message == vmDeferredClose) {
        if (dispatcher_->ThreadsActive()) {
            // The dispatch thread has not left its notification yet: look again shortly.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            NotifyQueue().Post(vmDeferredClose, 0, static_cast<std::intptr_t>(dispatcher_->Handle()) << 16);
            return;
        }
        FinishClose();
        if (reopenPending_) {
            reopenPending_ = false;
            OpenPort();
        }
        return;
    }
    DoTrigger(message, wParam, message == vmAvail ? wParam : data);
    switch (message) {
    case vmAvail: DoTriggerAvail(wParam); break;
    case vmDataTrigger: DoTriggerData(wParam); break;
    case vmTimerTrigger: DoTriggerTimer(wParam); break;
    case vmStatusTrigger:
        DoTriggerStatus(wParam);
        switch (wParam & 7) {
        case 1: DoTriggerModemStatus(); break;
        case 2: {
            bool lineBreak = false;
            const std::uint32_t errors = dispatcher_->TakeLineErrors(lineBreak);
            DoTriggerLineError(errors, lineBreak);
            break;
        }
        case 3: DoTriggerOutbuffFree(); break;
        case 4: DoTriggerOutbuffUsed(); break;
        case 5: DoTriggerOutSent(); break;
        default: break;
        }
        break;
    default: break;
    }
}

void TVeltCustomComPort::DoTrigger(unsigned message, unsigned trigger, unsigned data)
{
    if (onTrigger_) onTrigger_(*this, message, trigger, data);
}
void TVeltCustomComPort::DoTriggerAvail(unsigned count)
{
    if (onTriggerAvail_) onTriggerAvail_(*this, count);
}
void TVeltCustomComPort::DoTriggerData(unsigned trigger)
{
    if (onTriggerData_) onTriggerData_(*this, trigger);
}
void TVeltCustomComPort::DoTriggerStatus(unsigned trigger)
{
    if (onTriggerStatus_) onTriggerStatus_(*this, trigger);
}
void TVeltCustomComPort::DoTriggerTimer(unsigned trigger)
{
    if (onTriggerTimer_) onTriggerTimer_(*this, trigger);
}
void TVeltCustomComPort::DoTriggerLineError(unsigned lineError, bool lineBreak)
{
    if (onTriggerLineError_) onTriggerLineError_(*this, lineError, lineBreak);
}
void TVeltCustomComPort::DoTriggerModemStatus()
{
    if (onTriggerModemStatus_) onTriggerModemStatus_(*this);
}
void TVeltCustomComPort::DoTriggerOutbuffFree()
{
    if (onTriggerOutbuffFree_) onTriggerOutbuffFree_(*this);
}
void TVeltCustomComPort::DoTriggerOutbuffUsed()
{
    if (onTriggerOutbuffUsed_) onTriggerOutbuffUsed_(*this);
}
void TVeltCustomComPort::DoTriggerOutSent()
{
    if (onTriggerOutSent_) onTriggerOutSent_(*this);
}
void TVeltCustomComPort::DoWaitChar(char c)
{
    if (onWaitChar_) onWaitChar_(*this, c);
}
