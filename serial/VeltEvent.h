// An event object for the dispatcher's threads: set, reset, and waited on
// alone or together with others. It is a descriptor (eventfd), so a thread
// that waits in poll() on a device can wait on events in the same call.
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

    bool Valid() const { return fd_ >= 0; }
    void Set();
    void ResetEvent();
    // Waits until set; timeoutMs < 0 waits without limit. An auto-reset event
    // is cleared by the wait that sees it. Returns false on time-out.
    bool Wait(int timeoutMs = -1);
    // True when set; an auto-reset event is consumed by a true answer.
    bool TryConsume();
    // The descriptor to watch for POLLIN while the event is set.
    int Fd() const { return fd_; }

    // Waits for the first of `events` (at most MaxWaitEvents) to be set.
    // Returns its index, or -1 on time-out. The event found is consumed when
    // auto-reset.
    static constexpr std::size_t MaxWaitEvents = 4;
    static int WaitAny(std::initializer_list<TVeltEvent*> events, int timeoutMs = -1);

private:
    int fd_ = -1;
    Reset mode_;
};
