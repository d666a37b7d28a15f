// Stands in for the notification window of a serial port: the dispatcher's
// threads queue calls here, and the thread that owns the object (the main
// thread) runs them when it drains the queue. The application drains it from
// its event loop, announced by the OnQueued hook; the serial layer never
// waits for it except through SendCall's time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class TVeltNotifyQueue {
    struct TItem;

public:
    using TProc = std::function<void(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)>;

    explicit TVeltNotifyQueue(TProc proc = nullptr) : proc_(std::move(proc)) {}
    ~TVeltNotifyQueue();
    TVeltNotifyQueue(const TVeltNotifyQueue&) = delete;
    TVeltNotifyQueue& operator=(const TVeltNotifyQueue&) = delete;

    // The window procedure: how a message is handled when it is run.
    void SetProc(TProc proc);
    void Dispatch(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    // Queues a message for the owner thread and returns at once.
    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    // Queues any call for the owner thread and returns at once.
    void PostCall(std::function<void()> call);
    // Ends the waits of the SendCall calls given it, and makes later ones
    // return at once, until Reset: a sender that stops does not wait for the
    // owner thread.
    class TSendStop {
    public:
        void Stop();
        void Reset();

    private:
        friend class TVeltNotifyQueue;
        std::mutex mutex_;
        bool stopped_ = false;
        std::shared_ptr<TItem> waiting_;
    };

    // Queues a call and waits until the owner thread has run it, timeoutMs
    // has passed or `stop` was stopped. Returns true when it ran. A call that
    // was not waited for still runs later. Must not be called from the owner
    // thread (it would wait for itself).
    bool SendCall(std::function<void()> call, int timeoutMs, TSendStop* stop = nullptr);

    // Owner thread: runs what is queued (at most `limit` calls, including those
    // queued meanwhile); returns how many ran.
    std::size_t ProcessMessages(std::size_t limit = SIZE_MAX);
    bool HasPending() const;

    // Called on the queuing thread after each queued call.
    void SetOnQueued(std::function<void()> hook);

private:
    void Enqueue(std::shared_ptr<TItem> item);

    TProc proc_;
    mutable std::mutex mutex_;
    std::deque<std::shared_ptr<TItem>> queue_;
    std::function<void()> onQueued_;
};
