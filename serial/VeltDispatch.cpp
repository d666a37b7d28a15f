// The dispatcher's synchronous side: activation and release, the input and
// output buffers, line settings, modem lines, flow control, purges, status.
#include "VeltDispatch.h"

#include "DispatcherRegistry.h"
#include "VeltDispatchInternal.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

void SleepMs(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

TVeltBaseDispatcher::TVeltBaseDispatcher(TComponent* owner) : owner_(owner), notify_(std::make_unique<TNotifyState>())
{
    handle_ = DispatcherRegistry::Add(this);
}

TVeltBaseDispatcher::~TVeltBaseDispatcher()
{
    // The derived destructor has already released the device (see
    // TVeltPosixDispatcher); this only covers a close left pending.
    WaitForPendingClose();
    DispatcherRegistry::Remove(handle_);
}

void TVeltBaseDispatcher::WaitForPendingClose()
{
    while (closePending_.load() && runningThreads_.load() > 0) SleepMs(1);
}

// ---------------------------------------------------------------- life ----

int TVeltBaseDispatcher::Activate(const std::string& device, int baud, int parity, int dataBits, int stopBits,
                                  std::uint32_t inSize, std::uint32_t outSize, bool dtr, bool rts)
{
    if (deviceOpen_ || threadsActive_.load()) return ecAlreadyOpen;
    closePending_ = false;
    stop_ = false;
    {
        std::lock_guard lock(SignalLock);
        eventSignal_ = std::make_unique<TVeltEvent>(TVeltEvent::Reset::Auto);
        ackSignal_ = std::make_unique<TVeltEvent>(TVeltEvent::Reset::Auto);
        outputReady_ = std::make_unique<TVeltEvent>(TVeltEvent::Reset::Auto);
        purgeSignal_ = std::make_unique<TVeltEvent>(TVeltEvent::Reset::Auto);
        purgeAck_ = std::make_unique<TVeltEvent>(TVeltEvent::Reset::Auto);
    }
    for (auto* e : {eventSignal_.get(), ackSignal_.get(), outputReady_.get(), purgeSignal_.get(), purgeAck_.get()})
        if (!e->Valid()) {
            Release();
            return ecOutOfMemory;
        }

    int result = DeviceOpen(device, inSize, outSize);
    if (result < 0) {
        Release();
        return result;
    }
    deviceOpen_ = true;
    deviceGone_ = false;
    deviceGoneError_ = 0;
    if (!DeviceSetQueues(inSize, outSize)) {
        Release();
        return ecMemory;
    }

    {
        std::scoped_lock lock(InputLock, OutputLock);
        inputBuffer_.assign(InputBufferSize, 0);
        inputTimes_.assign(InputBufferSize, 0);
        inputBad_.assign(InputBufferSize, 0);
        outputBuffer_.assign(outSize, 0);
        inHead_ = inTail_ = 0;
        inFull_ = false;
        outHead_ = outTail_ = 0;
        outFull_ = false;
        outputIdle_ = true;
        inputQueueSize_ = inSize;
        outputSize_ = outSize;
        inputChanged_ = false;
        notify_->active = false;
        notify_->readCounter = notify_->maxCounter = 0;
    }
    lineError_ = 0;
    rs485_ = false;
    dtrFlow_ = rtsFlow_ = false;
    trailingRing_ = false;
    eventMask_ = 0;

    {
        std::lock_guard lock(DataLock);
        (void)DeviceGetState(block_);  // on failure block_ keeps the last settings written
    }
    // Flow control was just switched off, so both lines are ours to set; a
    // device without modem lines (a pseudo-terminal) is no reason to fail.
    (void)SetDtrLine(dtr);
    (void)SetRtsLine(rts);
    availThreshold_ = 0;
    modemStatus_ = 0;
    modemStatus_ = DeviceModemLines() & 0xF0;
    lastBaud_ = 115200;

    // The whole block once, also when the device's line already matches: its
    // other settings (echo, character mapping, flow) may be anything.
    result = SetLine(baud, parity, dataBits, stopBits, true);
    if (result < 0) {
        Release();
        return result;
    }
    RefreshLineErrors();
    StartThreads();
    return ecOK;
}

void TVeltBaseDispatcher::Deactivate()
{
    if (!deviceOpen_ && !threadsActive_.load()) return;
    if (notifying_.load()) {
        // A handler is running: the dispatch thread releases everything when
        // it has finished the notification.
        closePending_ = true;
        SignalStop();
        // Called from outside the handlers (they may still run on this
        // thread): a send waiting for this thread's queue ends now, the call
        // runs later and finds the dispatcher closed.
        if (CurrentNotifyContext.dispatcher != this) notify_->sendStop.Stop();
        return;
    }
    if (deviceOpen_) {
        // The device closes next whatever the purges answer.
        (void)PurgeOutput();
        (void)PurgeInput();
    }
    Release();
}

void TVeltBaseDispatcher::SignalStop()
{
    stop_ = true;
    std::lock_guard lock(SignalLock);
    if (purgeSignal_) purgeSignal_->Set();
    if (deviceOpen_) DeviceWakeWaiter();
    if (eventSignal_) eventSignal_->Set();
}

void TVeltBaseDispatcher::Release()
{
    FreeResources();
    std::lock_guard lock(SignalLock);
    if (deviceOpen_) {
        (void)DeviceClose();  // the descriptor is released either way
        deviceOpen_ = false;
    }
    eventSignal_.reset();
    ackSignal_.reset();
    outputReady_.reset();
    purgeSignal_.reset();
    purgeAck_.reset();
}

void TVeltBaseDispatcher::FreeResources()
{
    if (threadsActive_.load()) StopThreads();
    std::scoped_lock lock(InputLock, OutputLock);
    std::vector<std::uint8_t>().swap(outputBuffer_);
    std::vector<std::uint8_t>().swap(inputBuffer_);
    std::vector<std::chrono::steady_clock::rep>().swap(inputTimes_);
    std::vector<std::uint8_t>().swap(inputBad_);
    inHead_ = inTail_ = outHead_ = outTail_ = 0;
    inFull_ = false;
    outFull_ = false;
    outputSize_ = 0;
}

// --------------------------------------------------------------- input ----

std::uint32_t TVeltBaseDispatcher::WaitingInput() const
{
    if (inFull_.load()) return InputBufferSize;
    return (inHead_ + InputBufferSize - inTail_) % InputBufferSize;
}

bool TVeltBaseDispatcher::ReadsInAvailMode() const
{
    return notify_->active && CurrentNotifyContext.dispatcher == this &&
           CurrentNotifyContext.generation == notify_->generation;
}

// Bytes that a read of the calling thread skips: a handler skips what it has
// read in this notification; anyone else skips what any handler has read.
std::uint32_t TVeltBaseDispatcher::HiddenInput() const
{
    if (!notify_->active) return 0;
    if (ReadsInAvailMode()) return notify_->readCounter;
    return std::max(notify_->readCounter, notify_->maxCounter);
}

// The input a read of the calling thread may reach: a handler reaches what
// its notification announced (input keeps arriving meanwhile), anyone else
// everything.
std::uint32_t TVeltBaseDispatcher::VisibleInput() const
{
    const std::uint32_t waiting = WaitingInput();
    return ReadsInAvailMode() ? std::min(waiting, notify_->announced) : waiting;
}

bool TVeltBaseDispatcher::HasInput()
{
    std::lock_guard lock(InputLock);
    return VisibleInput() > HiddenInput();
}

std::uint32_t TVeltBaseDispatcher::InputCount()
{
    std::lock_guard lock(InputLock);
    return VisibleInput() - std::min(VisibleInput(), HiddenInput());
}

int TVeltBaseDispatcher::PeekInput(std::uint32_t n, std::uint8_t& byte)
{
    std::lock_guard lock(InputLock);
    const std::uint32_t skip = HiddenInput();
    if (n == 0 || inputBuffer_.empty() || static_cast<std::uint64_t>(n) + skip > VisibleInput()) return ecBufferIsEmpty;
    byte = inputBuffer_[(inTail_ + skip + n - 1) % InputBufferSize];
    return ecOK;
}

int TVeltBaseDispatcher::TakeInput(std::uint8_t& byte, TInputMark* mark)
{
    bool madeRoom = false;
    {
        std::lock_guard lock(InputLock);
        const int result = PeekInput(1, byte);
        if (result != ecOK) return result;
        const std::uint32_t skip = HiddenInput();
        if (mark) *mark = MarkAt((inTail_ + skip) % InputBufferSize);
        if (ReadsInAvailMode()) {
            ++notify_->readCounter;
        } else {
            // Bytes a handler has looked at stay in front of the tail: move
            // them up over the byte taken behind them.
            for (std::uint32_t k = skip; k > 0; --k) {
                const std::uint32_t to = (inTail_ + k) % InputBufferSize;
                const std::uint32_t from = (inTail_ + k - 1) % InputBufferSize;
                inputBuffer_[to] = inputBuffer_[from];
                inputTimes_[to] = inputTimes_[from];
                inputBad_[to] = inputBad_[from];
            }
            inTail_ = (inTail_ + 1) % InputBufferSize;
            madeRoom = inFull_.exchange(false);
            // A byte among those announced: the handlers reach one less.
            if (notify_->active && skip < notify_->announced) --notify_->announced;
        }
        AddTrace('R', &byte, 1);
    }
    if (madeRoom) InputRoomMade();
    return ecOK;
}

TInputMark TVeltBaseDispatcher::MarkAt(std::uint32_t at) const
{
    return {std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(inputTimes_[at])),
            inputBad_[at] != 0};
}

std::size_t TVeltBaseDispatcher::TakeInputBlock(std::uint8_t* bytes, std::size_t max, TInputMark* marks)
{
    std::size_t taken = 0;
    bool madeRoom = false;
    {
        std::lock_guard lock(InputLock);
        if (ReadsInAvailMode()) {
            // A handler reads past what it has read in this notification; the
            // tail moves when the notification ends.
            const std::uint32_t skip = notify_->readCounter;
            const std::uint32_t visible = VisibleInput();
            const std::size_t count = std::min<std::size_t>(max, visible - std::min(visible, skip));
            while (taken < count) {
                const std::uint32_t at = (inTail_ + skip + static_cast<std::uint32_t>(taken)) % InputBufferSize;
                const std::size_t piece = std::min<std::size_t>(count - taken, InputBufferSize - at);
                std::memcpy(bytes + taken, inputBuffer_.data() + at, piece);
                if (marks)
                    for (std::size_t k = 0; k < piece; ++k)
                        marks[taken + k] = MarkAt(at + static_cast<std::uint32_t>(k));
                taken += piece;
            }
            notify_->readCounter += static_cast<std::uint32_t>(taken);
            AddTrace('R', bytes, taken);
            return taken;
        }
        if (notify_->active) {
            // The byte-wise rules of a running notification apply.
            while (taken < max && TakeInput(bytes[taken], marks ? marks + taken : nullptr) == ecOK) ++taken;
            return taken;
        }
        const std::size_t count = std::min<std::size_t>(max, WaitingInput());
        while (taken < count) {
            const std::size_t piece = std::min<std::size_t>(count - taken, InputBufferSize - inTail_);
            std::memcpy(bytes + taken, inputBuffer_.data() + inTail_, piece);
            if (marks)
                for (std::size_t k = 0; k < piece; ++k)
                    marks[taken + k] = MarkAt(inTail_ + static_cast<std::uint32_t>(k));
            inTail_ = (inTail_ + static_cast<std::uint32_t>(piece)) % InputBufferSize;
            taken += piece;
        }
        if (taken > 0) madeRoom = inFull_.exchange(false);
        AddTrace('R', bytes, taken);
    }
    if (madeRoom) InputRoomMade();
    return taken;
}

int TVeltBaseDispatcher::PurgeInput()
{
    if (!deviceOpen_) return ecCommNotOpen;
    const int result = DevicePurge(1);
    bool madeRoom;
    {
        std::lock_guard lock(InputLock);
        inTail_ = inHead_;
        notify_->readCounter = notify_->maxCounter = notify_->announced = 0;
        madeRoom = inFull_.exchange(false);
    }
    if (madeRoom) InputRoomMade();
    return result;
}

void TVeltBaseDispatcher::InputRoomMade()
{
    // The event thread stopped watching the device while there was no room.
    if (deviceOpen_ && threadsActive_.load()) DeviceWakeWaiter();
}

bool TVeltBaseDispatcher::InputBufferFull() { return inFull_.load(); }

// -------------------------------------------------------------- output ----

std::uint32_t TVeltBaseDispatcher::OutputFill() const
{
    if (outFull_) return outputSize_;
    if (outHead_ >= outTail_) return outHead_ - outTail_;
    return outputSize_ + outHead_ - outTail_;
}

int TVeltBaseDispatcher::QueueBlock(const std::uint8_t* bytes, std::size_t count)
{
    if (count == 0) return ecOK;
    if (listenOnly_) return ecListenOnly;
    int result = ecOK;
    {
        std::lock_guard lock(OutputLock);
        if (outputBuffer_.empty()) return ecCommNotOpen;
        // Line errors are not asked for per block (two device calls each):
        // the dispatch thread collects them every 50 ms.
        const std::uint32_t room = outputSize_ - OutputFill();
        if (count > room) return ecOutputBufferTooSmall;
        if (count == room) outFull_ = true;
        const int written = DeviceWrite(bytes, count);
        if (written <= 0) {
            result = ecPutBlockFail;
            lineError_ |= DeviceStatus(status_) & leMask;
        }
    }
    AddLog(LogDispatch, LogWriteCom, static_cast<std::uint32_t>(count), bytes, count);
    AddTrace('T', bytes, count);
    return result;
}

int TVeltBaseDispatcher::DeviceWrite(const std::uint8_t* bytes, std::size_t count)
{
    std::lock_guard lock(OutputLock);
    const std::uint32_t toEnd = outputSize_ - outHead_;
    if (count <= toEnd) {
        std::memcpy(outputBuffer_.data() + outHead_, bytes, count);
        outHead_ = (outHead_ + static_cast<std::uint32_t>(count)) % outputSize_;
    } else {
        std::memcpy(outputBuffer_.data() + outHead_, bytes, toEnd);
        std::memcpy(outputBuffer_.data(), bytes + toEnd, count - toEnd);
        outHead_ = static_cast<std::uint32_t>(count) - toEnd;
    }
    // A busy output thread finds the new bytes itself before it waits again.
    if (outputIdle_) outputReady_->Set();
    return static_cast<int>(count);
}

std::uint32_t TVeltBaseDispatcher::OutputUsed()
{
    std::lock_guard lock(OutputLock);
    if (!deviceOpen_) return 0;
    lineError_ |= DeviceStatus(status_) & leMask;
    status_.OutQueue = OutputFill();
    return status_.OutQueue;
}

int TVeltBaseDispatcher::PurgeOutput()
{
    if (!deviceOpen_) return ecCommNotOpen;
    if (outputRunning_.load()) {
        // Stop the output thread's write, wait until it has let go of the buffer.
        purgeAck_->TryConsume();
        purgeSignal_->Set();
        while (!purgeAck_->Wait(100) && outputRunning_.load()) {
        }
    }
    std::lock_guard lock(OutputLock);
    outHead_ = outTail_ = 0;
    outFull_ = false;
    ++outGeneration_;
    return DevicePurge(0);
}

// ---------------------------------------------------------------- line ----

int TVeltBaseDispatcher::ApplyLine(int baud, int parity, int dataBits, int stopBits)
{
    return SetLine(baud, parity, dataBits, stopBits, false);
}

int TVeltBaseDispatcher::SetLine(int baud, int parity, int dataBits, int stopBits, bool always)
{
    TDeviceControlBlock wanted;
    {
        std::lock_guard lock(DataLock);
        (void)DeviceGetState(block_);  // on failure block_ keeps the last settings written
        wanted = block_;
        wanted.Binary = true;
        // The driver checks parity and says which character came bad (on
        // Linux PARMRK marks, on Windows CE_RXPARITY and the error character):
        // by the DP standard such a character makes its telegram invalid, and
        // the 8-bit check sum misses errors that cancel out.
        wanted.ParityCheck = true;
        wanted.DsrSensitivity = false;
        wanted.TxContinueOnXoff = true;
        wanted.NullStrip = false;
        if (baud != KeepBaud) wanted.BaudRate = static_cast<std::uint32_t>(baud);
        if (parity != KeepParity) wanted.Parity = static_cast<std::uint8_t>(parity);
        if (dataBits != KeepDataBits) wanted.ByteSize = static_cast<std::uint8_t>(dataBits);
        if (stopBits != KeepStopBits) {
            const int stop = stopBits <= 0 ? 1 : std::min(stopBits, 2);
            wanted.StopBits = stop == 1 ? TDeviceControlBlock::OneStopBit : TDeviceControlBlock::TwoStopBits;
        }
        if (wanted.ByteSize == 5) wanted.StopBits = TDeviceControlBlock::One5StopBits;
        if (!always && wanted.BaudRate == block_.BaudRate && wanted.Parity == block_.Parity &&
            wanted.ByteSize == block_.ByteSize && wanted.StopBits == block_.StopBits)
            return ecOK;
    }

    // Let the output drain, then give the line the time of 18 characters at
    // the old rate, so no character is cut by the change.
    for (int i = 0; i < 5000 && OutputUsed() > 0 && !deviceGone_.load(); ++i) SleepMs(2);
    {
        std::lock_guard lock(DataLock);
        (void)DeviceGetState(block_);  // on failure block_ keeps the last settings written
    }
    const std::uint32_t rate = lastBaud_ ? lastBaud_ : 19200;
    const std::uint32_t bits = block_.ByteSize + 2u + (block_.Parity != 0 ? 1u : 0u) +
                               (block_.StopBits != TDeviceControlBlock::OneStopBit ? 1u : 0u);
    std::uint64_t units = static_cast<std::uint64_t>(10000000 / rate) * bits * 18;
    if (units < 10000) units *= 2;
    SleepMs(static_cast<long>((units + 9999) / 10000));

    std::lock_guard lock(DataLock);
    (void)DeviceGetState(block_);  // on failure block_ keeps the last settings written
    TDeviceControlBlock block = block_;
    block.Binary = wanted.Binary;
    block.ParityCheck = wanted.ParityCheck;
    block.DsrSensitivity = wanted.DsrSensitivity;
    block.TxContinueOnXoff = wanted.TxContinueOnXoff;
    block.NullStrip = wanted.NullStrip;
    block.BaudRate = wanted.BaudRate;
    block.Parity = wanted.Parity;
    block.ByteSize = wanted.ByteSize;
    block.StopBits = wanted.StopBits;
    return WriteControlBlock(block, true);
}

int TVeltBaseDispatcher::WriteControlBlock(TDeviceControlBlock& block, bool afterOutput)
{
    std::lock_guard lock(DataLock);
    if (!dtrFlow_) block.DtrControl = dtrState_ ? TDeviceControlBlock::DtrEnable : TDeviceControlBlock::DtrDisable;
    if (!rtsFlow_) block.RtsControl = rtsState_ ? TDeviceControlBlock::RtsEnable : TDeviceControlBlock::RtsDisable;
    const int result = DeviceSetState(block, afterOutput);
    if (result < 0) return result;
    block_ = block;
    lastBaud_ = block.BaudRate;
    // Re-asserts the lines as last set; one owned by flow control stays with it
    // (ecUnderFlowControl), which is no failure of the new settings.
    (void)SetDtrLine(dtrState_);
    if (!rs485_) (void)SetRtsLine(rtsState_);
    return result;
}

TDeviceControlBlock TVeltBaseDispatcher::ControlBlock()
{
    std::lock_guard lock(DataLock);
    return block_;
}

int TVeltBaseDispatcher::SetDtrLine(bool on) { return SetModemLine(on, dtrFlow_, dtrState_, efSetDTR, efClrDTR); }

int TVeltBaseDispatcher::SetRtsLine(bool on) { return SetModemLine(on, rtsFlow_, rtsState_, efSetRTS, efClrRTS); }

// Raises or lowers a line unless flow control owns it.
int TVeltBaseDispatcher::SetModemLine(bool on, const bool& underFlow, bool& state, int setFunction, int clearFunction)
{
    std::lock_guard lock(DataLock);
    if (underFlow) return ecUnderFlowControl;
    const int result = DeviceEscape(on ? setFunction : clearFunction);
    state = on;
    return result < 0 ? ecBadArgument : result;
}

int TVeltBaseDispatcher::SetHardwareFlow(std::uint32_t full, std::uint32_t resume, int flags)
{
    if (resume > full || full > inputQueueSize_) return ecBadArgument;
    std::lock_guard lock(DataLock);
    TDeviceControlBlock block = block_;
    block.OutxCtsFlow = block.OutxDsrFlow = false;
    dtrFlow_ = (flags & hfUseDTR) != 0;
    block.DtrControl = dtrFlow_ ? TDeviceControlBlock::DtrHandshake
                                : (dtrState_ ? TDeviceControlBlock::DtrEnable : TDeviceControlBlock::DtrDisable);
    rtsFlow_ = (flags & hfUseRTS) != 0;
    block.RtsControl = rtsFlow_ ? TDeviceControlBlock::RtsHandshake
                                : (rtsState_ ? TDeviceControlBlock::RtsEnable : TDeviceControlBlock::RtsDisable);
    if (rs485_) {
        block.RtsControl = TDeviceControlBlock::RtsToggle;
        rtsFlow_ = true;
    }
    block.XoffLim = inputQueueSize_ - full;
    block.XonLim = resume;
    block.OutxDsrFlow = (flags & hfRequireDSR) != 0;
    block.OutxCtsFlow = (flags & hfRequireCTS) != 0;
    return WriteControlBlock(block);
}

int TVeltBaseDispatcher::SetSoftwareFlow(std::uint32_t full, std::uint32_t resume, int flags)
{
    if (resume > full || full > inputQueueSize_) return ecBadArgument;
    std::lock_guard lock(DataLock);
    TDeviceControlBlock block = block_;
    if (flags & sfReceive) {
        block.InX = true;
        block.XoffLim = inputQueueSize_ - full;
        block.XonLim = resume;
    }
    if (flags & sfTransmit) block.OutX = true;
    block.XonChar = 17;
    block.XoffChar = 19;
    return WriteControlBlock(block);
}

int TVeltBaseDispatcher::RemoveSoftwareFlow()
{
    std::lock_guard lock(DataLock);
    TDeviceControlBlock block = block_;
    block.InX = block.OutX = false;
    return WriteControlBlock(block);
}

int TVeltBaseDispatcher::SetXonXoffChars(char xon, char xoff)
{
    std::lock_guard lock(DataLock);
    TDeviceControlBlock block = block_;
    block.XonChar = xon;
    block.XoffChar = xoff;
    return WriteControlBlock(block);
}

void TVeltBaseDispatcher::SetRS485(bool on)
{
    std::lock_guard lock(DataLock);
    rs485_ = on;
    SetThreadPriorities();
}

void TVeltBaseDispatcher::SetPriorityBoost(std::uint8_t boost)
{
    std::lock_guard lock(DataLock);
    if (boost == priorityBoost_) return;
    priorityBoost_ = boost;
    SetThreadPriorities();
}

// -------------------------------------------------------------- status ----

void TVeltBaseDispatcher::RefreshLineErrors()
{
    std::lock_guard lock(OutputLock);
    if (deviceOpen_) lineError_ |= DeviceStatus(status_) & leMask;
}

void TVeltBaseDispatcher::RefreshModemStatus()
{
    std::lock_guard lock(DataLock);
    const std::uint8_t old = modemStatus_;
    std::uint8_t now = static_cast<std::uint8_t>((DeviceModemLines() & 0xF0) | (old & 0x0F));
    if (trailingRing_) {
        trailingRing_ = false;
        now |= msTrailingRing;
    }
    modemStatus_ = static_cast<std::uint8_t>(now | (((now ^ old) & 0xF0) >> 4));
}

std::uint32_t TVeltBaseDispatcher::LineErrors()
{
    RefreshLineErrors();
    return lineError_.load();
}

std::uint32_t TVeltBaseDispatcher::TakeLineErrors(bool& lineBreak)
{
    RefreshLineErrors();
    const std::uint32_t errors = lineError_.exchange(0);
    lineBreak = (errors & leBreak) != 0;
    return errors;
}

std::uint8_t TVeltBaseDispatcher::ModemStatus()
{
    if (deviceOpen_) RefreshModemStatus();
    std::lock_guard lock(DataLock);
    return modemStatus_;
}

void TVeltBaseDispatcher::MarkDeviceGone(int error)
{
    if (!deviceGone_.exchange(true)) deviceGoneError_ = error;
}

void TVeltBaseDispatcher::SetOptionFlag(std::uint32_t flag)
{
    std::lock_guard lock(DataLock);
    optionFlags_ |= flag;
}

void TVeltBaseDispatcher::ClearOptionFlag(std::uint32_t flag)
{
    std::lock_guard lock(DataLock);
    optionFlags_ &= ~flag;
}

int TVeltBaseDispatcher::DeviceClearError(int) { return ecOK; }

int TVeltBaseDispatcher::DeviceYield()
{
    std::this_thread::yield();
    return ecOK;
}
