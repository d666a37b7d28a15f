// The port component's settings: construction and the property setters with
// their effect on an open port. Opening, closing, byte operations and
// notifications are in VeltPortIO.cpp.
#include "VeltPort.h"

#include "VeltDispatch.h"
#include "VeltExcept.h"
#include "VeltMisc.h"

#include <algorithm>

TVeltCustomComPort::TVeltCustomComPort(TComponent* owner) : TVeltBaseComponent(owner) {}

TVeltCustomComPort::~TVeltCustomComPort()
{
    ClosePort();
    if (dispatcher_) FinishClose();  // a deferred close still running
}

int TVeltCustomComPort::Check(int code) const { return RaiseOnError(this, code); }

bool TVeltCustomComPort::IsOpen() const { return linkState_ == TLinkState::Open && dispatcher_ != nullptr; }

bool TVeltCustomComPort::Unchanged(bool equal) const { return equal && !reapplyAll_; }

void TVeltCustomComPort::SetDeviceLayer(TDeviceLayer layer)
{
    if (Unchanged(layer == deviceLayer_) || linkState_ != TLinkState::Closed) return;
    if (layer != dlWin32) return;  // the only layer this platform supports
    deviceLayer_ = layer;
    LayerChanged();
}

// ---- Line settings ----

void TVeltCustomComPort::ApplyLineSettings()
{
    if (IsOpen()) Check(dispatcher_->ApplyLine(baud_, parity_, dataBits_, stopBits_));
}

void TVeltCustomComPort::SetBaud(std::int32_t baud)
{
    if (Unchanged(baud == baud_)) return;
    baud_ = baud;
    ApplyLineSettings();
}

void TVeltCustomComPort::SetParity(TParity parity)
{
    if (Unchanged(parity == parity_)) return;
    parity_ = parity;
    ApplyLineSettings();
}

void TVeltCustomComPort::SetDataBits(std::uint16_t bits)
{
    if (Unchanged(bits == dataBits_)) return;
    dataBits_ = bits;
    ApplyLineSettings();
}

void TVeltCustomComPort::SetStopBits(std::uint16_t bits)
{
    if (Unchanged(bits == stopBits_)) return;
    stopBits_ = bits;
    ApplyLineSettings();
}

// Driver queue sizes have no counterpart on this platform; the buffers take
// the new sizes at the next open.
void TVeltCustomComPort::SetInSize(std::uint16_t size) { inSize_ = size; }
void TVeltCustomComPort::SetOutSize(std::uint16_t size) { outSize_ = size; }

// ---- Modem lines: the property follows the line only when the dispatcher
// changed it (it answers ecUnderFlowControl while flow control owns it) ----

void TVeltCustomComPort::SetDTR(bool on)
{
    if (Unchanged(on == dtr_)) return;
    if (!IsOpen() || Check(dispatcher_->SetDtrLine(on)) == ecOK) dtr_ = on;
}

void TVeltCustomComPort::SetRTS(bool on)
{
    if (Unchanged(on == rts_)) return;
    if (!IsOpen() || Check(dispatcher_->SetRtsLine(on)) == ecOK) rts_ = on;
}

// ---- Flow control ----

namespace {

int HardwareFlowFlags(THWFlowOptionSet options)
{
    int flags = 0;
    if (options & HWFlowBit(hwfUseDTR)) flags |= hfUseDTR;
    if (options & HWFlowBit(hwfUseRTS)) flags |= hfUseRTS;
    if (options & HWFlowBit(hwfRequireDSR)) flags |= hfRequireDSR;
    if (options & HWFlowBit(hwfRequireCTS)) flags |= hfRequireCTS;
    return flags;
}

int SoftwareFlowFlags(TSWFlowOptions options)
{
    switch (options) {
    case swfReceive: return sfReceive;
    case swfTransmit: return sfTransmit;
    case swfBoth: return sfReceive | sfTransmit;
    default: return 0;
    }
}

std::uint16_t Fraction(std::uint32_t value, double part) { return static_cast<std::uint16_t>(value * part); }

}  // namespace

// Default flow marks: a full mark that is unset or beyond the input size
// becomes fullPart of it, a resume mark unset or above the full mark resumePart.
void TVeltCustomComPort::DefaultFlowMarks(double fullPart, double resumePart)
{
    if (bufferFull_ == 0 || bufferFull_ > inSize_) bufferFull_ = Fraction(inSize_, fullPart);
    if (bufferResume_ == 0 || bufferResume_ > bufferFull_) bufferResume_ = Fraction(inSize_, resumePart);
}

void TVeltCustomComPort::SetHWFlowOptions(THWFlowOptionSet options)
{
    if (Unchanged(options == hwFlow_)) return;
    const int flags = HardwareFlowFlags(options);
    if (flags != 0) DefaultFlowMarks(0.9, 0.1);
    if (IsOpen()) Check(dispatcher_->SetHardwareFlow(bufferFull_, bufferResume_, flags));
    hwFlow_ = options;
    if (flags & (hfUseRTS | hfRequireCTS)) SetRS485Mode(false);
}

void TVeltCustomComPort::SetSWFlowOptions(TSWFlowOptions options)
{
    if (Unchanged(options == swFlow_)) return;
    const int flags = SoftwareFlowFlags(options);
    if (flags != 0) DefaultFlowMarks(0.75, 0.25);
    if (IsOpen())
        Check(flags != 0 ? dispatcher_->SetSoftwareFlow(bufferFull_, bufferResume_, flags)
                         : dispatcher_->RemoveSoftwareFlow());
    swFlow_ = options;
}

void TVeltCustomComPort::WithReapplyAll(const std::function<void()>& apply)
{
    const bool saved = reapplyAll_;
    reapplyAll_ = true;
    try {
        apply();
    } catch (...) {
        reapplyAll_ = saved;
        throw;
    }
    reapplyAll_ = saved;
}

void TVeltCustomComPort::ReapplyFlow()
{
    WithReapplyAll([this] {
        SetHWFlowOptions(hwFlow_);
        SetSWFlowOptions(swFlow_);
    });
}

// A full mark beyond the input size is replaced by 90 % of the input size, so
// that the stored mark is always one the dispatcher accepts.
void TVeltCustomComPort::SetBufferFull(std::uint16_t mark)
{
    if (Unchanged(mark == bufferFull_)) return;
    bufferFull_ = mark > inSize_ ? Fraction(inSize_, 0.9) : mark;
    ReapplyFlow();
}

void TVeltCustomComPort::SetBufferResume(std::uint16_t mark)
{
    if (Unchanged(mark == bufferResume_)) return;
    bufferResume_ = mark > bufferFull_ ? Fraction(bufferFull_, 0.1) : mark;
    ReapplyFlow();
}

void TVeltCustomComPort::SetXOnChar(char c)
{
    if (Unchanged(c == xonChar_)) return;
    xonChar_ = c;
    if (IsOpen()) Check(dispatcher_->SetXonXoffChars(xonChar_, xoffChar_));
}

void TVeltCustomComPort::SetXOffChar(char c)
{
    if (Unchanged(c == xoffChar_)) return;
    xoffChar_ = c;
    if (IsOpen()) Check(dispatcher_->SetXonXoffChars(xonChar_, xoffChar_));
}

// ---- Tracing and the dispatch log ----

namespace {

// The dispatcher's operations for one of the two recorders.
struct TRecorder {
    int (TVeltBaseDispatcher::*start)(std::uint32_t);
    void (TVeltBaseDispatcher::*stop)();
    void (TVeltBaseDispatcher::*pause)();
    void (TVeltBaseDispatcher::*resume)();
    int (TVeltBaseDispatcher::*clear)();
    int (TVeltBaseDispatcher::*dump)(const std::string&, bool, bool, bool);
};

constexpr TRecorder TraceRecorder{&TVeltBaseDispatcher::StartTrace, &TVeltBaseDispatcher::StopTrace,
                                  &TVeltBaseDispatcher::PauseTrace, &TVeltBaseDispatcher::ResumeTrace,
                                  &TVeltBaseDispatcher::ClearTrace, &TVeltBaseDispatcher::DumpTrace};
constexpr TRecorder LogRecorder{&TVeltBaseDispatcher::StartLog, &TVeltBaseDispatcher::StopLog,
                                &TVeltBaseDispatcher::PauseLog, &TVeltBaseDispatcher::ResumeLog,
                                &TVeltBaseDispatcher::ClearLog, &TVeltBaseDispatcher::DumpLog};

}  // namespace

// `state` is the recorder's state in the dispatcher (tlOff, tlOn or tlPause)
// and becomes the new one.
void TVeltCustomComPort::ApplyRecorder(TTraceLogState requested, TTraceLogState& state, bool log)
{
    if (!IsOpen()) {
        state = requested == tlOn ? tlOn : tlOff;
        return;
    }
    const TRecorder& r = log ? LogRecorder : TraceRecorder;
    TVeltBaseDispatcher& d = *dispatcher_;
    const bool running = state == tlOn || state == tlPause;
    switch (requested) {
    case tlOff:
        if (running) (d.*r.stop)();
        state = tlOff;
        break;
    case tlOn:
        if (state == tlPause)
            (d.*r.resume)();
        else if (state == tlOff)
            Check((d.*r.start)(log ? logSize_ : traceSize_));
        state = tlOn;
        break;
    case tlDump:
    case tlAppend:
        if (running) {
            if (state == tlPause) (d.*r.resume)();
            state = tlOff;  // a dump ends the recording, also when writing fails
            Check((d.*r.dump)(log ? logName_ : traceName_, requested == tlAppend, log ? logHex_ : traceHex_,
                              log ? logAllHex_ : traceAllHex_));
        }
        break;
    case tlClear:
        if (running) Check((d.*r.clear)());
        break;
    case tlPause:
        if (state == tlOn) {
            (d.*r.pause)();
            state = tlPause;
        }
        break;
    }
}

void TVeltCustomComPort::SetTracing(TTraceLogState state)
{
    if (Unchanged(state == tracing_)) return;
    ApplyRecorder(state, tracing_, false);
}

void TVeltCustomComPort::SetLogging(TTraceLogState state)
{
    if (Unchanged(state == logging_)) return;
    ApplyRecorder(state, logging_, true);
}

void TVeltCustomComPort::SetTraceSize(std::uint32_t size)
{
    traceSize_ = std::min(size, MaxTraceSize);
    if (IsOpen() && (tracing_ == tlOn || tracing_ == tlPause)) {
        ApplyRecorder(tlOff, tracing_, false);
        ApplyRecorder(tlOn, tracing_, false);
    }
}

void TVeltCustomComPort::SetLogSize(std::uint32_t size)
{
    logSize_ = std::min(size, MaxLogSize);
    if (IsOpen() && (logging_ == tlOn || logging_ == tlPause)) {
        ApplyRecorder(tlOff, logging_, true);
        ApplyRecorder(tlOn, logging_, true);
    }
}

void TVeltCustomComPort::SetTraceName(const std::string& name) { traceName_ = name.substr(0, 255); }
void TVeltCustomComPort::SetLogName(const std::string& name) { logName_ = name.substr(0, 255); }

// ---- Other dispatcher options ----

void TVeltCustomComPort::SetUseMSRShadow(bool on) { useMSRShadow_ = on; }

void TVeltCustomComPort::SetUseEventWord(bool on)
{
    if (Unchanged(on == useEventWord_)) return;
    useEventWord_ = on;
    if (!IsOpen()) return;
    if (on)
        dispatcher_->SetOptionFlag(ofUseEventWord);
    else
        dispatcher_->ClearOptionFlag(ofUseEventWord);
}

void TVeltCustomComPort::SetRS485Mode(bool on)
{
    if (Unchanged(on == rs485Mode_)) return;
    rs485Mode_ = on;
    if (IsOpen()) dispatcher_->SetRS485(on);
    if (on) {
        // RS-485 drives RTS itself: RTS flow control and a raised RTS are off.
        SetHWFlowOptions(hwFlow_ & ~(HWFlowBit(hwfUseRTS) | HWFlowBit(hwfRequireCTS)));
        SetRTS(false);
    }
}

void TVeltCustomComPort::SetAvailThreshold(std::uint16_t count)
{
    if (Unchanged(count == availThreshold_)) return;
    availThreshold_ = count;
    if (IsOpen()) dispatcher_->SetAvailThreshold(count);
}

void TVeltCustomComPort::SetPriorityBoost(std::uint8_t boost)
{
    if (Unchanged(boost == priorityBoost_)) return;
    priorityBoost_ = boost;
    if (IsOpen()) dispatcher_->SetPriorityBoost(boost);
}

// ---- Trigger events ----

#define VELT_TRIGGER_SETTER(Name, Type, member) \
    void TVeltCustomComPort::Name(Type handler) \
    {                                           \
        member = std::move(handler);            \
        UpdateTriggerUse();                     \
    }
VELT_TRIGGER_SETTER(SetOnTrigger, TTriggerEvent, onTrigger_)
VELT_TRIGGER_SETTER(SetOnTriggerAvail, TTriggerAvailEvent, onTriggerAvail_)
VELT_TRIGGER_SETTER(SetOnTriggerData, TTriggerHandleEvent, onTriggerData_)
VELT_TRIGGER_SETTER(SetOnTriggerStatus, TTriggerHandleEvent, onTriggerStatus_)
VELT_TRIGGER_SETTER(SetOnTriggerTimer, TTriggerHandleEvent, onTriggerTimer_)
VELT_TRIGGER_SETTER(SetOnTriggerLineError, TTriggerLineErrorEvent, onTriggerLineError_)
VELT_TRIGGER_SETTER(SetOnTriggerModemStatus, TTriggerStatusEvent, onTriggerModemStatus_)
VELT_TRIGGER_SETTER(SetOnTriggerOutbuffFree, TTriggerStatusEvent, onTriggerOutbuffFree_)
VELT_TRIGGER_SETTER(SetOnTriggerOutbuffUsed, TTriggerStatusEvent, onTriggerOutbuffUsed_)
VELT_TRIGGER_SETTER(SetOnTriggerOutSent, TTriggerStatusEvent, onTriggerOutSent_)
#undef VELT_TRIGGER_SETTER

bool TVeltCustomComPort::AnyTriggerEvent() const
{
    return onTrigger_ || onTriggerAvail_ || onTriggerData_ || onTriggerStatus_ || onTriggerTimer_ ||
           onTriggerLineError_ || onTriggerModemStatus_ || onTriggerOutbuffFree_ || onTriggerOutbuffUsed_ ||
           onTriggerOutSent_;
}

void TVeltCustomComPort::UpdateTriggerUse()
{
    if (IsOpen()) dispatcher_->SetHandlerUse(AnyTriggerEvent() ? 1 : 2);
}

// ---- Copying another port ----

void TVeltCustomComPort::Assign(const TVeltCustomComPort& other)
{
    if (&other == this) return;
    SetOpen(false);
    deviceLayer_ = other.deviceLayer_;
    comNumber_ = other.comNumber_;
    baud_ = other.baud_;
    promptForPort_ = other.promptForPort_;
    parity_ = other.parity_;
    dataBits_ = other.dataBits_;
    stopBits_ = other.stopBits_;
    inSize_ = other.inSize_;
    outSize_ = other.outSize_;
    autoOpen_ = other.autoOpen_;
    dtr_ = other.dtr_;
    rts_ = other.rts_;
    hwFlow_ = other.hwFlow_;
    swFlow_ = other.swFlow_;
    xonChar_ = other.xonChar_;
    xoffChar_ = other.xoffChar_;
    bufferFull_ = other.bufferFull_;
    bufferResume_ = other.bufferResume_;
    tracing_ = other.tracing_ == tlOn || other.tracing_ == tlPause ? tlOn : tlOff;
    traceSize_ = other.traceSize_;
    traceName_ = other.traceName_;
    traceHex_ = other.traceHex_;
    traceAllHex_ = other.traceAllHex_;
    logging_ = other.logging_ == tlOn || other.logging_ == tlPause ? tlOn : tlOff;
    logSize_ = other.logSize_;
    logName_ = other.logName_;
    logHex_ = other.logHex_;
    logAllHex_ = other.logAllHex_;
    useMSRShadow_ = other.useMSRShadow_;
    useEventWord_ = other.useEventWord_;
    commNotificationLevel_ = other.commNotificationLevel_;
    tapiMode_ = other.tapiMode_;
    rs485Mode_ = other.rs485Mode_;
    availThreshold_ = other.availThreshold_;
    priorityBoost_ = other.priorityBoost_;
    listenOnly_ = other.listenOnly_;
    listeners_ = other.listeners_;
    nextListenerId_ = other.nextListenerId_;
    prompt_ = other.prompt_;
    dispatcherFactory_ = other.dispatcherFactory_;
    onTrigger_ = other.onTrigger_;
    onTriggerAvail_ = other.onTriggerAvail_;
    onTriggerData_ = other.onTriggerData_;
    onTriggerStatus_ = other.onTriggerStatus_;
    onTriggerTimer_ = other.onTriggerTimer_;
    onTriggerLineError_ = other.onTriggerLineError_;
    onTriggerModemStatus_ = other.onTriggerModemStatus_;
    onTriggerOutbuffFree_ = other.onTriggerOutbuffFree_;
    onTriggerOutbuffUsed_ = other.onTriggerOutbuffUsed_;
    onTriggerOutSent_ = other.onTriggerOutSent_;
    onWaitChar_ = other.onWaitChar_;
    onLinkOpened_ = other.onLinkOpened_;
    onLinkClosed_ = other.onLinkClosed_;
    savedTriggers_.reset();
    if (other.IsOpen())
        savedTriggers_ = std::make_unique<TTriggerSnapshot>(other.dispatcher_->SaveTriggers());
    else if (other.savedTriggers_)
        savedTriggers_ = std::make_unique<TTriggerSnapshot>(*other.savedTriggers_);
}
