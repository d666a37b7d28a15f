#include "BrokerUrl.h"

#include "base/IntegerText.h"

namespace mqtt {

std::string TBrokerUrl::Text() const
{
    const bool bare = host.find(':') == std::string::npos;
    return std::string(tls ? "mqtts://" : "mqtt://") + (bare ? host : "[" + host + "]") + ":" + std::to_string(port);
}

std::optional<TBrokerUrl> ParseBrokerUrl(const std::string& text, std::string& error)
{
    TBrokerUrl url;
    std::string rest;
    if (text.rfind("mqtt://", 0) == 0) {
        rest = text.substr(7);
    } else if (text.rfind("mqtts://", 0) == 0) {
        url.tls = true;
        url.port = 8883;
        rest = text.substr(8);
    } else {
        error = "must start with mqtt:// or mqtts://";
        return std::nullopt;
    }
    std::string port;
    if (!rest.empty() && rest[0] == '[') {  // an IPv6 address in brackets
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) {
            error = "has no ']' after the IPv6 address";
            return std::nullopt;
        }
        url.host = rest.substr(1, close - 1);
        rest = rest.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') {
            error = "has text after the host that is no :port";
            return std::nullopt;
        }
        if (!rest.empty()) port = rest.substr(1);
    } else {
        const std::size_t colon = rest.find(':');
        url.host = rest.substr(0, colon);
        if (colon != std::string::npos) port = rest.substr(colon + 1);
        if (colon != std::string::npos && port.empty()) port = "-";
    }
    if (url.host.empty() || url.host.find_first_of("/?#@ ") != std::string::npos) {
        error = "needs a host name or address, and no path, user or query";
        return std::nullopt;
    }
    if (!port.empty()) {
        const auto number = ParseInteger(port, 1, 65535);
        if (!number) {
            error = "has a port that is no number from 1 to 65535";
            return std::nullopt;
        }
        url.port = static_cast<int>(*number);
    }
    return url;
}

}  // namespace mqtt
