// The timer that paces the serial channel. The channel owns one and only
// asks it for an interval, to run or to stop, and to call a handler on each
// expiry, on the thread that runs the channel; and for one wake between
// expiries (a write held for the line's idle time goes out then). The
// windowed program fills this with its GUI timer; TManualTimer serves tests
// and the headless monitor, whose own clock loop fires it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

class TPollTimer {
public:
    virtual ~TPollTimer() = default;
    virtual void SetInterval(int milliseconds) = 0;
    virtual int Interval() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetOnTimer(std::function<void()> handler) = 0;
    // Calls the wake handler once at `at` (a later call moves it), also while
    // disabled. A timer that cannot leaves it to its next expiry.
    virtual void WakeAt(std::chrono::steady_clock::time_point at) { static_cast<void>(at); }
    void SetOnWake(std::function<void()> handler) { onWake_ = std::move(handler); }

protected:
    void Woken()
    {
        if (onWake_) onWake_();
    }

private:
    std::function<void()> onWake_;
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
    void WakeAt(std::chrono::steady_clock::time_point at) override { wakeAt_ = at; }
    // The wake asked for and not yet given.
    std::optional<std::chrono::steady_clock::time_point> WakeDue() const { return wakeAt_; }
    // Gives the wake once its time has come.
    void FireWake(std::chrono::steady_clock::time_point now)
    {
        if (!wakeAt_ || *wakeAt_ > now) return;
        wakeAt_.reset();
        Woken();
    }

private:
    std::optional<std::chrono::steady_clock::time_point> wakeAt_;
    int interval_ = 0;
    bool enabled_ = false;
    std::function<void()> onTimer_;
};
