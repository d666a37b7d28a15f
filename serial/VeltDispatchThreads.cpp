// The dispatcher's three threads: the event thread waits for the device, the
// dispatch thread moves input into the buffer and delivers notifications, the
// output thread writes the output buffer to the device.
#include "VeltDispatch.h"

#include "DispatcherRegistry.h"
#include "VeltDispatchInternal.h"
#include "VeltNotify.h"

#include <algorithm>
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
    // Joined without DataLock: the threads take it.
    for (std::thread* t : {&outputThread_, &eventThread_, &dispatchThread_})
        if (t->joinable() && t->get_id() != std::this_thread::get_id()) t->join();
    threadsActive_ = false;
}

// The last thing a thread does: after it, the dispatcher may be freed.
void TVeltBaseDispatcher::ThreadEnded()
{
    --runningThreads_;
}

// ------------------------------------------------------------- event ----

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
        eventMask_ = mask;
        // Lock-step: the dispatch thread services the event, then resumes us.
        eventSignal_->Set();
        resumeSignal_->Wait();
    }
    ThreadEnded();
}

// ---------------------------------------------------------- dispatch ----

void TVeltBaseDispatcher::DispatchThreadBody()
{
    ackSignal_->Set();
    while (!stop_.load() && !closePending_.load()) {
        // Without an event the buffer is still filled every 50 ms.
        const bool event = eventSignal_->Wait(DispatchFallbackMs);
        if (stop_.load()) break;
        ServiceEvents();
        if (event) resumeSignal_->Set();
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

void TVeltBaseDispatcher::ServiceEvents()
{
    const std::uint32_t mask = eventMask_.exchange(0);
    if (mask & evModemMask) RefreshModemStatus();
    if (mask & (evBreak | evErr)) RefreshLineErrors();
    // While bytes keep coming, take them before handing back to the event
    // thread: a stream then costs one hand-over per few reads, not per read.
    for (int round = 0; round < 4 && PullDeviceInput(); ++round) {}
    if (!notifying_.load()) NotifyAvail();
}

bool TVeltBaseDispatcher::PullDeviceInput()
{
    std::uint32_t head;
    std::uint32_t room;
    {
        std::lock_guard lock(InputLock);
        if (inFull_.load() || inputBuffer_.empty() || deviceGone_.load()) return false;
        head = inHead_;
        room = InputBufferSize - WaitingInput();
    }
    std::uint32_t inDriver;
    {
        std::lock_guard outputLock(OutputLock);  // guards the status record
        lineError_ |= DeviceStatus(status_) & leMask;
        inDriver = status_.InQueue;
    }
    if (inDriver == 0) return false;
    // Only this thread writes into the free room and moves the head, and the
    // tail only moves away from it, so the device is read without holding
    // InputLock: readers are not held up by the read.
    const std::uint32_t wanted = std::min(room, inDriver);
    const std::uint32_t contiguous = std::min(room, InputBufferSize - head);
    // Ask for the whole contiguous room: the device gives what it has.
    std::uint32_t got = ReadPiece(head, contiguous);
    if (got == contiguous && wanted > contiguous) got += ReadPiece(0, room - contiguous);
    return got > 0 && !inFull_.load();
}

std::uint32_t TVeltBaseDispatcher::ReadPiece(std::uint32_t at, std::uint32_t room)
{
    if (room == 0) return 0;
    int got = DeviceRead(inputBuffer_.data() + at, room);
    if (got < 0) {
        (void)DeviceClearError(-1);  // lets the device layer reset; the read already failed
        got = 0;
    }
    if (got == 0) return 0;
    AddLog(LogDispatch, LogReadCom, static_cast<std::uint32_t>(got), inputBuffer_.data() + at,
           static_cast<std::size_t>(got));
    std::lock_guard lock(InputLock);
    inHead_ = (at + static_cast<std::uint32_t>(got)) % InputBufferSize;
    inFull_ = inHead_ == inTail_;
    inputChanged_ = true;
    return static_cast<std::uint32_t>(got);
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
        std::uint32_t length;
        std::uint64_t generation;
        {
            std::lock_guard lock(OutputLock);
            if (!outFull_ && outHead_ == outTail_) {
                outputIdle_ = true;
                return;
            }
            outputIdle_ = false;
            if (outHead_ > outTail_) {
                length = outHead_ - outTail_;
            } else if (outHead_ == 0) {
                length = outputSize_ - outTail_;
            } else {
                // The data wraps: rotate it to start at index 0, so that the
                // device gets everything as one block.
                std::vector<std::uint8_t> front(outputBuffer_.begin(), outputBuffer_.begin() + outHead_);
                std::memmove(outputBuffer_.data(), outputBuffer_.data() + outTail_, outputSize_ - outTail_);
                std::memcpy(outputBuffer_.data() + (outputSize_ - outTail_), front.data(), front.size());
                outHead_ += outputSize_ - outTail_;
                outTail_ = 0;
                length = outFull_ ? outputSize_ : outHead_;
                if (outHead_ == outputSize_) outHead_ = 0;
            }
            tail = outTail_;
            generation = outGeneration_;
        }
        const int written = DeviceTransmit(outputBuffer_.data() + tail, length, *purgeSignal_);
        if (written == TransmitAbandoned) {
            std::lock_guard lock(OutputLock);
            outputIdle_ = true;
            purgeAck_->Set();
            return;
        }
        // A block the device refused is lost: it counts as written.
        AdvanceOutputTail(written < 0 ? length : static_cast<std::uint32_t>(written), generation);
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
    std::lock_guard lock(DataLock);
    availThreshold_ = count;
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
    procs.erase(std::remove_if(procs.begin(), procs.end(), [id](const auto& p) { return p.first == id; }),
                procs.end());
    SetHandlerUse(0);
}

void TVeltBaseDispatcher::AddNotifyWindow(TVeltNotifyWindow* window)
{
    std::lock_guard lock(DataLock);
    notify_->windows.push_back(window);
    SetHandlerUse(0);
}

void TVeltBaseDispatcher::RemoveNotifyWindow(TVeltNotifyWindow* window)
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
    notify_->serviceNeeded =
        notify_->windows.size() > 1 || !notify_->procs.empty() || notify_->componentHandler;
}

TTriggerSnapshot TVeltBaseDispatcher::SaveTriggers() const
{
    return {availThreshold_.load()};
}

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
    std::vector<TNotifyProc> procs;
    std::vector<TVeltNotifyWindow*> windows;
    {
        std::lock_guard lock(DataLock);
        if (!notify_->serviceNeeded) return;
        for (const auto& p : notify_->procs) procs.push_back(p.second);
        if (notify_->windows.size() > 1 || notify_->componentHandler) windows = notify_->windows;
    }
    std::uint64_t generation;
    {
        std::lock_guard lock(InputLock);
        generation = ++notify_->generation;
        notify_->active = true;
        notify_->readCounter = notify_->maxCounter = 0;
    }
    notifying_ = true;
    const auto finishHandler = [this] {
        std::lock_guard lock(InputLock);
        notify_->maxCounter = std::max(notify_->maxCounter, notify_->readCounter);
        notify_->readCounter = 0;
    };
    for (auto& proc : procs) {
        if (closePending_.load()) break;
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
    for (TVeltNotifyWindow* window : windows) {
        if (closePending_.load()) break;
        // The window runs on its owner thread; it finds this dispatcher by
        // handle, so a late call after a close finds nothing.
        window->SendCall(
            [window, handle, generation, message, data, lParam] {
                DispatcherRegistry::With(handle, [&](TVeltBaseDispatcher* d) {
                    if (d) CurrentNotifyContext = {d, generation};
                });
                try {
                    window->Dispatch(message, data, lParam);
                } catch (...) {
                    CurrentNotifyContext = {};
                    throw;
                }
                CurrentNotifyContext = {};
            },
            NotifySendTimeoutMs);
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
