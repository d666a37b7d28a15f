#include "VeltNotify.h"

#include <chrono>
#include <condition_variable>

struct TVeltNotifyQueue::TItem {
    std::function<void()> call;
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
    bool abandoned = false;  // the sender stopped waiting
};

TVeltNotifyQueue::~TVeltNotifyQueue() = default;

void TVeltNotifyQueue::SetProc(TProc proc)
{
    std::lock_guard lock(mutex_);
    proc_ = std::move(proc);
}

void TVeltNotifyQueue::Dispatch(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    TProc proc;
    {
        std::lock_guard lock(mutex_);
        proc = proc_;
    }
    if (proc) proc(message, wParam, lParam);
}

void TVeltNotifyQueue::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    PostCall([this, message, wParam, lParam] { Dispatch(message, wParam, lParam); });
}

void TVeltNotifyQueue::PostCall(std::function<void()> call)
{
    auto item = std::make_shared<TItem>();
    item->call = std::move(call);
    Enqueue(std::move(item));
}

bool TVeltNotifyQueue::SendCall(std::function<void()> call, int timeoutMs, TSendStop* stop)
{
    auto item = std::make_shared<TItem>();
    item->call = std::move(call);
    if (stop) {
        std::lock_guard lock(stop->mutex_);
        if (stop->stopped_) return false;
        stop->waiting_ = item;
    }
    Enqueue(item);
    bool ran;
    {
        std::unique_lock lock(item->mutex);
        item->doneChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return item->done || item->abandoned; });
        ran = item->done;
    }
    if (stop) {
        std::lock_guard lock(stop->mutex_);
        stop->waiting_.reset();
    }
    return ran;
}

void TVeltNotifyQueue::TSendStop::Stop()
{
    std::lock_guard lock(mutex_);
    stopped_ = true;
    if (!waiting_) return;
    std::lock_guard itemLock(waiting_->mutex);
    waiting_->abandoned = true;
    waiting_->doneChanged.notify_all();
}

void TVeltNotifyQueue::TSendStop::Reset()
{
    std::lock_guard lock(mutex_);
    stopped_ = false;
}

void TVeltNotifyQueue::Enqueue(std::shared_ptr<TItem> item)
{
    std::function<void()> hook;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(item));
        hook = onQueued_;
    }
    if (hook) hook();
}

std::size_t TVeltNotifyQueue::ProcessMessages(std::size_t limit)
{
    std::size_t ran = 0;
    while (ran < limit) {
        std::shared_ptr<TItem> item;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) break;
            item = std::move(queue_.front());
            queue_.pop_front();
        }
        // The sender is released even when the call raises.
        struct TDone {
            TItem& item;
            ~TDone()
            {
                std::lock_guard lock(item.mutex);
                item.done = true;
                item.doneChanged.notify_all();
            }
        } done{*item};
        ++ran;
        if (item->call) item->call();
    }
    return ran;
}

bool TVeltNotifyQueue::HasPending() const
{
    std::lock_guard lock(mutex_);
    return !queue_.empty();
}

void TVeltNotifyQueue::SetOnQueued(std::function<void()> hook)
{
    std::lock_guard lock(mutex_);
    onQueued_ = std::move(hook);
}
