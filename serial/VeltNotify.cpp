#include "VeltNotify.h"

#include <chrono>
#include <condition_variable>

struct TVeltNotifyWindow::TItem {
    std::function<void()> call;
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
};

TVeltNotifyWindow::~TVeltNotifyWindow() = default;

void TVeltNotifyWindow::SetProc(TProc proc)
{
    std::lock_guard lock(mutex_);
    proc_ = std::move(proc);
}

void TVeltNotifyWindow::Dispatch(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    TProc proc;
    {
        std::lock_guard lock(mutex_);
        proc = proc_;
    }
    if (proc) proc(message, wParam, lParam);
}

void TVeltNotifyWindow::Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    PostCall([this, message, wParam, lParam] { Dispatch(message, wParam, lParam); });
}

void TVeltNotifyWindow::PostCall(std::function<void()> call)
{
    auto item = std::make_shared<TItem>();
    item->call = std::move(call);
    Enqueue(std::move(item));
}

bool TVeltNotifyWindow::SendCall(std::function<void()> call, int timeoutMs)
{
    auto item = std::make_shared<TItem>();
    item->call = std::move(call);
    Enqueue(item);
    std::unique_lock lock(item->mutex);
    return item->doneChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return item->done; });
}

void TVeltNotifyWindow::Enqueue(std::shared_ptr<TItem> item)
{
    std::function<void()> hook;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(item));
        hook = onQueued_;
    }
    if (hook) hook();
}

std::size_t TVeltNotifyWindow::ProcessMessages(std::size_t limit)
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

bool TVeltNotifyWindow::HasPending() const
{
    std::lock_guard lock(mutex_);
    return !queue_.empty();
}

void TVeltNotifyWindow::SetOnQueued(std::function<void()> hook)
{
    std::lock_guard lock(mutex_);
    onQueued_ = std::move(hook);
}
