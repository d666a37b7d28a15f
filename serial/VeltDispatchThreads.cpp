// The dispatcher's three threads: the event thread waits for the device and
// reads its input into the buffer, the dispatch thread delivers notifications
// and runs the 50 ms fallback, the output thread writes the output buffer to
// the device.
#include "VeltDispatch.h"

#include "DispatcherRegistry.h"
#include "VeltDispatchInternal.h"
#include "VeltNotify.h"

#include <algorithm>
#include <chrono>
#include <cstring>

thread_local TNotifyContext CurrentNotifyContext;

namespace {

constexpr int StartAckMs = 3000;
constexpr int DispatchFallbackMs = 50;
constexpr int NotifySendTimeoutMs = 3000;

}  // namespace

void TVeltBaseDispatcher::StartThreads()
{
    std::lock_guard lock(DataLock);
    if (threadsActive_.load()) return;
    threadsActive_ = true;
    stop_ = false;
    static std::atomic<std::uint64_t> activations{0};
    activation_ = ++activations;
    notify_->sendStop.Reset();
    dispatchWoken_ = false;
    runningThreads_ += 3;
    eventThread_ = std::thread([this] { EventThreadBody(); });
    ackSignal_->Wait(StartAckMs);
    dispatchThread_ = std::thread([this] { DispatchThreadBody(); });
    ackSignal_->Wait(StartAckMs);
    outputRunning_ = true;
    outputThread_ = std::thread([this] { OutputThreadBody(); });
    ackSignal_->Wait(StartAckMs);
}

void TVeltBaseDispatcher::StopThreads()
{
    if (!threadsActive_.load()) return;
    SignalStop();
    // The caller is not inside a handler of this dispatcher (it would have
    // found a notification running): a send waiting for the caller's
    // notification queue ends now instead of holding the join for seconds.
    notify_->sendStop.Stop();
    // Joined without DataLock: the threads take it.
    for (std::thread* t : {&outputThread_, &eventThread_, &dispatchThread_})
        if (t->joinable() && t->get_id() != std::this_thread::get_id()) t->join();
    threadsActive_ = false;
}

// The last thing a thread does: after it, the dispatcher may be freed.
void TVeltBaseDispatcher::ThreadEnded() { --runningThreads_; }

// ------------------------------------------------------------- event ----

// The thread that sees the device ready reads it: no hand-over per chunk. The
// dispatch thread is woken, without waiting for it, only for modem and error
// events or when handlers want to hear of the input.
void TVeltBaseDispatcher::EventThreadBody()
{
    ackSignal_->Set();
    while (!stop_.load()) {
        std::uint32_t mask = 0;
        if (!DeviceWaitEvent(mask) || stop_.load()) break;
        if (mask & (evRing | evRing2)) {
            std::lock_guard lock(DataLock);
            trailingRing_ = true;
        }
        bool wake = (mask & ~evRxChar) != 0;
        if (mask & evRxChar) {
            const int got = PullDeviceInput();
            if (got == 0) DeviceNoInputOnReadiness();
            // Below the avail threshold nobody is told yet: no wake per chunk.
            if (got > 0 && notifyWanted_.load() && AvailThresholdReached()) wake = true;
        }
        if (wake) {
            eventMask_.fetch_or(mask);
            // One wake covers everything until the dispatch thread takes it.
            if (!dispatchWoken_.exchange(true)) eventSignal_->Set();
        }
    }
    ThreadEnded();
}

// ---------------------------------------------------------- dispatch ----

void TVeltBaseDispatcher::DispatchThreadBody()
{
    ackSignal_->Set();
    auto nextFallback = std::chrono::steady_clock::now();
    bool more = false;
    while (!stop_.load() && !closePending_.load()) {
        // Without an event the buffer is still filled every 50 ms; line
        // errors are looked at every 50 ms also while events keep coming.
        const bool event = more || eventSignal_->Wait(DispatchFallbackMs);
        if (stop_.load()) break;
        const auto now = std::chrono::steady_clock::now();
        const bool fallback = !event || now >= nextFallback;
        if (fallback) nextFallback = now + std::chrono::milliseconds(DispatchFallbackMs);
        more = ServiceEvents(fallback);
    }
    if (closePending_.load()) {
        // Deactivate was called during a notification: finish it here.
        SignalStop();
        for (std::thread* t : {&outputThread_, &eventThread_})
            if (t->joinable()) t->join();
        dispatchThread_.detach();
        Release();
    }
    ThreadEnded();
}

bool TVeltBaseDispatcher::ServiceEvents(bool fallback)
{
    const std::uint32_t mask = eventMask_.exchange(0);
    if (mask & evModemMask) RefreshModemStatus();
    if (mask & (evBreak | evErr)) RefreshLineErrors();
    if (fallback) {
        // Line errors, and input the event thread has not taken.
        std::uint32_t inDriver;
        {
            std::lock_guard outputLock(OutputLock);  // guards the status record
            lineError_ |= DeviceStatus(status_) & leMask;
            inDriver = status_.InQueue;
        }
        if (inDriver > 0) (void)PullDeviceInput();  // what it read is in the buffer
    }
    if (!notifying_.load()) NotifyAvail();
    // Events that came while the handlers ran did not wake this thread (the
    // event thread saw it awake): from here on they do, and those already
    // there are served without a wait.
    dispatchWoken_ = false;
    return eventMask_.load() != 0 || AvailThresholdReached();
}

int TVeltBaseDispatcher::PullDeviceInput()
{
    std::lock_guard readLock(ReadLock);
    std::uint32_t head;
    std::uint32_t room;
    {
        std::lock_guard lock(InputLock);
        if (inFull_.load() || inputBuffer_.empty() || deviceGone_.load()) return NoRoom;
        head = inHead_;
        room = InputBufferSize - WaitingInput();
    }
    // Only the holder of ReadLock writes into the free room and moves the
    // head, and the tail only moves away from it, so the device is read
    // without holding InputLock: readers are not held up by the read. One
    // read fills both free pieces of the ring.
    const std::uint32_t first = std::min(room, InputBufferSize - head);
    readBad_.clear();
    readOffset_ = 0;
    int got = DeviceReadPieces(inputBuffer_.data() + head, first, inputBuffer_.data(), room - first);
    if (got < 0) {
        (void)DeviceClearError(-1);  // lets the device layer reset; the read already failed
        return 0;
    }
    if (got == 0) return 0;
    const auto arrived = std::chrono::steady_clock::now().time_since_epoch().count();
    lastArrival_.store(arrived);
    const auto count = static_cast<std::uint32_t>(got);
    // Each byte's arrival and badness beside it, in the room only this thread writes.
    for (std::uint32_t k = 0; k < count; ++k) {
        inputTimes_[(head + k) % InputBufferSize] = arrived;
        inputBad_[(head + k) % InputBufferSize] = 0;
    }
    for (const std::uint32_t bad : readBad_)
        if (bad < count) inputBad_[(head + bad) % InputBufferSize] = 1;
    AddLog(LogDispatch, LogReadCom, count, inputBuffer_.data() + head, std::min(count, first));
    if (count > first) AddLog(LogDispatch, LogReadCom, count - first, inputBuffer_.data(), count - first);
    std::lock_guard lock(InputLock);
    inHead_ = (head + count) % InputBufferSize;
    inFull_ = inHead_ == inTail_;
    inputChanged_ = true;
    return got;
}

int TVeltBaseDispatcher::DeviceReadPieces(std::uint8_t* first, std::size_t firstCount, std::uint8_t* second,
                                          std::size_t secondCount)
{
    const int got = DeviceRead(first, firstCount);
    if (got < 0 || static_cast<std::size_t>(got) < firstCount || secondCount == 0) return got;
    readOffset_ = static_cast<std::size_t>(got);  // marks of the second read count from here
    const int more = DeviceRead(second, secondCount);
    return more > 0 ? got + more : got;
}

void TVeltBaseDispatcher::MarkBadInRead(std::size_t index)
{
    readBad_.push_back(static_cast<std::uint32_t>(readOffset_ + index));
}

// ------------------------------------------------------------ output ----

void TVeltBaseDispatcher::OutputThreadBody()
{
    ackSignal_->Set();
    while (!stop_.load() && !closePending_.load()) {
        const int which = TVeltEvent::WaitAny({outputReady_.get(), purgeSignal_.get()});
        if (which == 0) {
            if (stop_.load()) break;
            WriteWaitingOutput();
        } else if (which == 1) {
            purgeAck_->Set();
        }
    }
    outputRunning_ = false;
    purgeAck_->Set();  // a purge waiting for this thread need not wait longer
    ThreadEnded();
}

void TVeltBaseDispatcher::WriteWaitingOutput()
{
    for (;;) {
        std::uint32_t tail;
        std::uint32_t first;
        std::uint32_t second;
        std::uint64_t generation;
        {
            std::lock_guard lock(OutputLock);
            if (!outFull_ && outHead_ == outTail_) {
                outputIdle_ = true;
                return;
            }
            outputIdle_ = false;
            // Everything waiting goes to the device in one call: the piece up
            // to the end of the ring and the piece that wrapped to its start.
            const std::uint32_t fill = OutputFill();
            tail = outTail_;
            first = std::min(fill, outputSize_ - tail);
            second = fill - first;
            generation = outGeneration_;
        }
        const int written =
            DeviceTransmit(outputBuffer_.data() + tail, first, outputBuffer_.data(), second, *purgeSignal_);
        if (written == TransmitAbandoned) {
            std::lock_guard lock(OutputLock);
            outputIdle_ = true;
            purgeAck_->Set();
            return;
        }
        // A block the device refused is lost: it counts as written.
        AdvanceOutputTail(written < 0 ? first + second : static_cast<std::uint32_t>(written), generation);
        if (stop_.load()) {
            std::lock_guard lock(OutputLock);
            outputIdle_ = true;
            return;
        }
    }
}

void TVeltBaseDispatcher::AdvanceOutputTail(std::uint32_t written, std::uint64_t generation)
{
    std::lock_guard lock(OutputLock);
    if (generation != outGeneration_) return;  // purged meanwhile
    outTail_ = (outTail_ + written) % outputSize_;
    if (outTail_ == outHead_) outHead_ = outTail_ = 0;
    outFull_ = false;
}

// ----------------------------------------------------- notifications ----

void TVeltBaseDispatcher::SetAvailThreshold(std::uint16_t count)
{
    {
        std::lock_guard lock(DataLock);
        availThreshold_ = count;
    }
    // Input that already reaches a lowered threshold is told now, not at the
    // next chunk or fallback.
    if (eventSignal_ && notifyWanted_.load() && AvailThresholdReached() && !dispatchWoken_.exchange(true))
        eventSignal_->Set();
}

bool TVeltBaseDispatcher::AvailThresholdReached()
{
    const std::uint16_t threshold = availThreshold_.load();
    if (threshold == 0) return false;
    std::lock_guard lock(InputLock);
    return inputChanged_ && WaitingInput() >= threshold;
}

int TVeltBaseDispatcher::AddNotifyProc(TNotifyProc proc)
{
    std::lock_guard lock(DataLock);
    const int id = notify_->nextProcId++;
    notify_->procs.emplace_back(id, std::move(proc));
    SetHandlerUse(0);
    return id;
}

void TVeltBaseDispatcher::RemoveNotifyProc(int id)
{
    std::lock_guard lock(DataLock);
    auto& procs = notify_->procs;
    procs.erase(std::remove_if(procs.begin(), procs.end(), [id](const auto& p) { return p.first == id; }), procs.end());
    SetHandlerUse(0);
}

void TVeltBaseDispatcher::AddNotifyQueue(TVeltNotifyQueue* window)
{
    std::lock_guard lock(DataLock);
    notify_->windows.push_back(window);
    SetHandlerUse(0);
}

void TVeltBaseDispatcher::RemoveNotifyQueue(TVeltNotifyQueue* window)
{
    std::lock_guard lock(DataLock);
    auto& windows = notify_->windows;
    windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
    SetHandlerUse(0);
}

void TVeltBaseDispatcher::SetHandlerUse(int use)
{
    std::lock_guard lock(DataLock);
    if (use == 1) notify_->componentHandler = true;
    if (use == 2) notify_->componentHandler = false;
    notify_->serviceNeeded = notify_->windows.size() > 1 || !notify_->procs.empty() || notify_->componentHandler;
    ++notify_->listVersion;
    notifyWanted_ = notify_->serviceNeeded;
}

TTriggerSnapshot TVeltBaseDispatcher::SaveTriggers() const { return {availThreshold_.load()}; }

void TVeltBaseDispatcher::RestoreTriggers(const TTriggerSnapshot& snapshot)
{
    SetAvailThreshold(snapshot.AvailThreshold);
}

void TVeltBaseDispatcher::NotifyAvail()
{
    std::uint32_t waiting;
    {
        std::lock_guard lock(InputLock);
        waiting = WaitingInput();
        if (!inputChanged_ || availThreshold_ == 0 || waiting < availThreshold_) return;
        inputChanged_ = false;
    }
    NotifyHandlers(vmAvail, 0, waiting);
}

void TVeltBaseDispatcher::NotifyHandlers(unsigned message, unsigned trigger, unsigned data)
{
    // Only the dispatch thread notifies, so its copies of the lists need no
    // lock while the handlers run; they are made again after a change only.
    auto& procs = notify_->procsCopy;
    auto& windows = notify_->windowsCopy;
    {
        std::lock_guard lock(DataLock);
        if (!notify_->serviceNeeded) return;
        if (notify_->copiedVersion != notify_->listVersion) {
            notify_->copiedVersion = notify_->listVersion;
            procs.clear();
            for (const auto& p : notify_->procs) procs.push_back(p.second);
            windows.clear();
            if (notify_->windows.size() > 1 || notify_->componentHandler) windows = notify_->windows;
        }
    }
    std::uint64_t generation;
    {
        std::lock_guard lock(InputLock);
        generation = ++notify_->generation;
        notify_->active = true;
        notify_->readCounter = notify_->maxCounter = 0;
        notify_->announced = message == vmAvail ? data : WaitingInput();
    }
    notifying_ = true;
    const auto finishHandler = [this] {
        std::lock_guard lock(InputLock);
        notify_->maxCounter = std::max(notify_->maxCounter, notify_->readCounter);
        notify_->readCounter = 0;
    };
    for (auto& proc : procs) {
        if (closePending_.load() || stop_.load()) break;
        CurrentNotifyContext = {this, generation};
        try {
            proc(message, trigger, data);
        } catch (...) {
            // A failing handler must not end the dispatch thread.
        }
        CurrentNotifyContext = {};
        finishHandler();
    }
    const std::intptr_t lParam = (static_cast<std::intptr_t>(handle_) << 16) | (trigger & 0xFFFF);
    const int handle = handle_;
    const std::uint64_t activation = activation_.load();
    for (TVeltNotifyQueue* window : windows) {
        if (closePending_.load() || stop_.load()) break;
        // The window runs on its owner thread; it finds this dispatcher by
        // handle and activation, so a late call after a close finds nothing,
        // also when another dispatcher has taken the slot since.
        window->SendCall(
            [window, handle, activation, generation, message, data, lParam] {
                bool current = false;
                DispatcherRegistry::With(handle, [&](TVeltBaseDispatcher* d) {
                    current = d && d->Activation() == activation;
                    if (current) CurrentNotifyContext = {d, generation};
                });
                if (!current) return;
                try {
                    window->Dispatch(message, data, lParam);
                } catch (...) {
                    CurrentNotifyContext = {};
                    throw;
                }
                CurrentNotifyContext = {};
            },
            NotifySendTimeoutMs, &notify_->sendStop);
        finishHandler();
    }
    {
        // Commit what the handlers read.
        std::lock_guard lock(InputLock);
        const std::uint32_t taken = std::min(notify_->maxCounter, WaitingInput());
        bool madeRoom = false;
        if (taken > 0) {
            inTail_ = (inTail_ + taken) % InputBufferSize;
            madeRoom = inFull_.exchange(false);
        }
        notify_->active = false;
        notify_->readCounter = notify_->maxCounter = 0;
        if (madeRoom) InputRoomMade();
    }
    notifying_ = false;
}
