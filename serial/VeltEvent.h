// An event object for the dispatcher's threads: set, reset, and waited on
// alone or together with others. It is what the system waits on beside a
// device: a descriptor (eventfd) for poll() on POSIX, an event object's
// handle for WaitForMultipleObjects on Windows.
// Auto-reset events release one waiter and clear themselves; manual-reset
// events stay set until Reset.
#pragma once

#include <cstddef>
#include <initializer_list>

class TVeltEvent {
public:
    enum class Reset { Auto, Manual };

    explicit TVeltEvent(Reset mode);
    ~TVeltEvent();
    TVeltEvent(const TVeltEvent&) = delete;
    TVeltEvent& operator=(const TVeltEvent&) = delete;

#ifdef _WIN32
    bool Valid() const { return handle_ != nullptr; }
#else
    bool Valid() const { return fd_ >= 0; }
#endif
    void Set();
    void ResetEvent();
    // Waits until set; timeoutMs < 0 waits without limit. An auto-reset event
    // is cleared by the wait that sees it. Returns false on time-out.
    bool Wait(int timeoutMs = -1);
    // True when set; an auto-reset event is consumed by a true answer.
    bool TryConsume();
#ifdef _WIN32
    // The event object (a HANDLE), signalled while the event is set.
    void* Handle() const { return handle_; }
#else
    // The descriptor to watch for POLLIN while the event is set.
    int Fd() const { return fd_; }
#endif

    // Waits for the first of `events` (at most MaxWaitEvents) to be set.
    // Returns its index, or -1 on time-out. The event found is consumed when
    // auto-reset.
    static constexpr std::size_t MaxWaitEvents = 4;
    static int WaitAny(std::initializer_list<TVeltEvent*> events, int timeoutMs = -1);

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    Reset mode_;
};
