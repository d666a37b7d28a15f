// How long a placed command waits for its result before it is given up, the
// same in the window and in quorvel-cli: the wait counts only while the link
// is in data exchange, from the first request there that carries the
// command; leaving data exchange stops it (a command still pending when data
// exchange comes back is given up at once, see TCommandChannel::NoteMasterState).
#pragma once

#include <chrono>
#include <optional>

class TResultWait {
public:
    using TClock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds Timeout{10000};

    // A request went out (or a tick came): outside data exchange, or with no
    // command pending, the wait stops; in data exchange with a command
    // pending it starts if it is not running. True when it starts now.
    bool Note(bool inDataExchange, bool pending, TClock::time_point now)
    {
        if (!inDataExchange || !pending) {
            since_.reset();
            return false;
        }
        if (since_) return false;
        since_ = now;
        return true;
    }
    void Stop() { since_.reset(); }
    bool Running() const { return since_.has_value(); }
    bool Due(TClock::time_point now, TClock::duration timeout = Timeout) const
    {
        return since_ && now - *since_ >= timeout;
    }

private:
    std::optional<TClock::time_point> since_;
};
