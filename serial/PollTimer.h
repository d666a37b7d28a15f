// The timer that paces the serial channel. The channel owns one and only
// asks it for an interval, to run or to stop, and to call a handler on each
// expiry, on the thread that runs the channel. The windowed program fills
// this with its GUI timer; TManualTimer serves tests and the headless
// monitor, whose own clock loop fires it.
#pragma once

#include <functional>
#include <utility>

class TPollTimer {
public:
    virtual ~TPollTimer() = default;
    virtual void SetInterval(int milliseconds) = 0;
    virtual int Interval() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetOnTimer(std::function<void()> handler) = 0;
};

// Keeps its settings and fires only when told to (and only while enabled).
class TManualTimer : public TPollTimer {
public:
    void SetInterval(int milliseconds) override { interval_ = milliseconds; }
    int Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    bool Enabled() const override { return enabled_; }
    void SetOnTimer(std::function<void()> handler) override { onTimer_ = std::move(handler); }

    // One expiry: calls the handler when the timer is enabled and has one.
    void Fire()
    {
        if (enabled_ && onTimer_) onTimer_();
    }

private:
    int interval_ = 0;
    bool enabled_ = false;
    std::function<void()> onTimer_;
};
