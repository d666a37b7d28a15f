// The publisher on libmosquitto. The connection's thread runs the library's
// loop (it alone reads and writes the socket); the caller's thread only
// queues a packet into the library, which wakes that loop. The library's own
// queue has no bound, so the packets queued and not yet written are counted
// here and a message beyond QueueLimit is dropped.
#include "Publisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace mqtt {

namespace {

constexpr int KeepAliveSeconds = 30;
constexpr int LoopWaitMs = 1000;  // the loop's longest sleep: a stop is seen within it
constexpr int StopGraceLoops = 3;

}  // namespace

struct TPublisher::TImpl {
    TSettings settings;
    TReport report;
    mosquitto* client = nullptr;
    std::thread thread;

    std::mutex mutex;  // guards the members up to `libraryError`
    std::condition_variable wake;
    bool stop = false;
    bool connected = false;  // the broker accepted the connection
    std::map<std::string, std::string> retained;
    std::string libraryError;  // the first error the library logged since the last try

    std::mutex sending;  // one sender at a time: a retained topic's latest payload goes out last
    std::atomic<std::size_t> queued{0};
    std::atomic<std::uint64_t> dropped{0};
    std::atomic<std::uint64_t> sent{0};

    // The connection's thread only.
    bool accepted = false;
    std::string refusal;
    std::string lastTold;

    void Run();
    bool Send(const std::string& topic, const std::string& payload, bool retain);
    void SendRetained();
    bool Stopping();
    void Tell(const std::string& text);
    std::string Problem(int rc, int error);
};

bool TPublisher::TImpl::Send(const std::string& topic, const std::string& payload, bool retain)
{
    if (queued.load() >= QueueLimit) return false;
    ++queued;
    const int rc =
        mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 0, retain);
    if (rc == MOSQ_ERR_SUCCESS) return true;
    --queued;
    return false;
}

void TPublisher::TImpl::SendRetained()
{
    std::lock_guard<std::mutex> one(sending);
    std::map<std::string, std::string> copy;
    {
        std::lock_guard<std::mutex> lock(mutex);
        connected = true;
        copy = retained;
    }
    for (const auto& [topic, payload] : copy)
        if (!Send(topic, payload, true)) ++dropped;
}

bool TPublisher::TImpl::Stopping()
{
    std::lock_guard<std::mutex> lock(mutex);
    return stop;
}

void TPublisher::TImpl::Tell(const std::string& text)
{
    if (text == lastTold) return;
    lastTold = text;
    if (report) report(text);
}

std::string TPublisher::TImpl::Problem(int rc, int error)
{
    std::string libraryText;
    {
        std::lock_guard<std::mutex> lock(mutex);
        libraryText = libraryError;
    }
    std::string why;
    if (rc == MOSQ_ERR_CONN_REFUSED)
        why = "refused the connection: " + refusal;
    else if (rc == MOSQ_ERR_TLS)
        why = "TLS failed" + (libraryText.empty() ? std::string() : ": " + libraryText);
    else if (rc == MOSQ_ERR_ERRNO && error != 0)
        why = std::strerror(error);
    else
        why = mosquitto_strerror(rc);
    return "MQTT broker " + settings.broker.Text() + ": " + why + "; trying again, " +
           std::to_string(FirstRetry.count()) + " s to " + std::to_string(LastRetry.count()) + " s between tries";
}

void TPublisher::TImpl::Run()
{
    auto delay = FirstRetry;
    bool first = true;
    while (!Stopping()) {
        accepted = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            libraryError.clear();
        }
        int rc = first ? mosquitto_connect(client, settings.broker.host.c_str(), settings.broker.port, KeepAliveSeconds)
                       : mosquitto_reconnect(client);
        int error = errno;
        first = false;
        bool up = false;
        int grace = 0;
        while (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(client, LoopWaitMs, 1);
            error = errno;
            if (accepted && !up) {
                up = true;
                delay = FirstRetry;
                Tell("MQTT broker " + settings.broker.Text() + ": connected");
                SendRetained();
            }
            // A clean stop lets the loop write the last message and the disconnect first.
            if (Stopping() && (!up || ++grace > StopGraceLoops)) break;
        }
        std::unique_lock<std::mutex> lock(mutex);
        connected = false;
        dropped += queued.exchange(0);  // freed by the library with the connection
        if (stop) break;
        lock.unlock();
        Tell(Problem(rc, error));
        lock.lock();
        wake.wait_for(lock, delay, [this] { return stop; });
        delay = std::min(delay * 2, std::chrono::seconds(LastRetry));
    }
}

TPublisher::TPublisher() : impl_(std::make_unique<TImpl>()) {}

TPublisher::~TPublisher()
{
    Stop();
    if (impl_->client) mosquitto_destroy(impl_->client);
}

bool TPublisher::Start(const TSettings& settings, TReport report, std::string& error)
{
    mosquitto_lib_init();
    TImpl& d = *impl_;
    d.settings = settings;
    d.report = std::move(report);
    d.client = mosquitto_new(settings.clientId.empty() ? nullptr : settings.clientId.c_str(), true, &d);
    if (!d.client) {
        error = "cannot make an MQTT client: " + std::string(std::strerror(errno));
        return false;
    }
    mosquitto_threaded_set(d.client, true);
    mosquitto_connect_callback_set(d.client, [](mosquitto*, void* self, int code) {
        TImpl& impl = *static_cast<TImpl*>(self);
        impl.accepted = code == 0;
        impl.refusal = mosquitto_connack_string(code);
    });
    mosquitto_publish_callback_set(d.client, [](mosquitto*, void* self, int) {
        TImpl& impl = *static_cast<TImpl*>(self);
        if (impl.queued.load() > 0) --impl.queued;
        ++impl.sent;
    });
    mosquitto_log_callback_set(d.client, [](mosquitto*, void* self, int level, const char* text) {
        if (!(level & MOSQ_LOG_ERR)) return;
        TImpl& impl = *static_cast<TImpl*>(self);
        std::lock_guard<std::mutex> lock(impl.mutex);
        if (impl.libraryError.empty()) impl.libraryError = text;
    });
    if (!settings.willTopic.empty() &&
        mosquitto_will_set(d.client, settings.willTopic.c_str(), static_cast<int>(settings.willPayload.size()),
                           settings.willPayload.data(), 1, true) != MOSQ_ERR_SUCCESS) {
        error = "the MQTT topic " + settings.willTopic + " is not valid";
        return false;
    }
    if (!settings.user.empty() &&
        mosquitto_username_pw_set(d.client, settings.user.c_str(), settings.password.c_str()) != MOSQ_ERR_SUCCESS) {
        error = "the MQTT user name or password is not valid UTF-8";
        return false;
    }
    if (settings.broker.tls) {
        const int rc = settings.caFile.empty()
                           ? mosquitto_int_option(d.client, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                           : mosquitto_tls_set(d.client, settings.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = settings.caFile.empty() ? "TLS cannot use the system's certificates"
                                            : "--mqtt-ca " + settings.caFile + " cannot be read";
            return false;
        }
    }
    d.thread = std::thread([&d] { d.Run(); });
    return true;
}

void TPublisher::Publish(const std::string& topic, const std::string& payload, bool retained)
{
    TImpl& d = *impl_;
    std::lock_guard<std::mutex> one(d.sending);
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (retained) d.retained[topic] = payload;
        if (!d.connected) {
            if (!retained) ++d.dropped;  // a retained topic goes out when the connection is back
            return;
        }
    }
    if (!d.Send(topic, payload, retained)) ++d.dropped;
}

void TPublisher::Stop(const std::string& topic, const std::string& payload)
{
    TImpl& d = *impl_;
    if (!d.thread.joinable()) return;
    bool up = false;
    {
        // Stopping first: the loop then takes the disconnect below for the end it is.
        std::lock_guard<std::mutex> lock(d.mutex);
        d.stop = true;
        up = d.connected;
    }
    d.wake.notify_all();
    if (up) {
        std::lock_guard<std::mutex> one(d.sending);
        if (!topic.empty()) d.Send(topic, payload, true);
        mosquitto_disconnect(d.client);
    }
    d.thread.join();
}

std::uint64_t TPublisher::Dropped() const { return impl_->dropped.load(); }
std::uint64_t TPublisher::Sent() const { return impl_->sent.load(); }

}  // namespace mqtt
