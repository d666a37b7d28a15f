// Publishes messages to an MQTT broker without ever making the caller wait
// for it: the connection lives on a thread of its own, a message is handed
// over in a bounded queue, and one that cannot go out (no connection, or
// the queue full because the broker is slow) is dropped and counted. The
// connection is made again after a loss, 1 s after the first try and then
// doubling to 30 s between tries; the retained topics go out again each
// time it is back. The broker's last will for the client is set, and the
// client subscribes to nothing.
#pragma once

#include "BrokerUrl.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace mqtt {

struct TSettings {
    TBrokerUrl broker;
    std::string clientId;  // empty: the library chooses one
    std::string user;      // empty: no user name or password
    std::string password;
    std::string caFile;  // TLS: the broker's certificate is checked against it (else the system's CAs)
    std::string willTopic;
    std::string willPayload;  // retained
};

class TPublisher {
public:
    static constexpr std::size_t QueueLimit = 1000;  // messages handed over but not yet on the socket
    static constexpr std::chrono::seconds FirstRetry{1};
    static constexpr std::chrono::seconds LastRetry{30};

    // `report` is told, from the publisher's thread, of each new problem
    // with the broker and when the connection is up again.
    using TReport = std::function<void(const std::string& text)>;

    TPublisher();
    ~TPublisher();  // Stop()
    TPublisher(const TPublisher&) = delete;
    TPublisher& operator=(const TPublisher&) = delete;

    // Starts the connection's thread; false, with `error`, for settings the
    // library refuses (a CA file it cannot use) or a build without MQTT.
    bool Start(const TSettings& settings, TReport report, std::string& error);
    // Hands a message over and returns at once. A retained message is also
    // kept (the latest per topic) to be sent again after a reconnect.
    void Publish(const std::string& topic, const std::string& payload, bool retained);
    // Sends `payload` retained on `topic` if connected, disconnects cleanly
    // and ends the thread.
    void Stop(const std::string& topic = {}, const std::string& payload = {});

    std::uint64_t Dropped() const;
    std::uint64_t Sent() const;  // written to the broker's socket

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

}  // namespace mqtt
