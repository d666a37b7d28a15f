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
        error = "it starts with neither";
        return std::nullopt;
    }
    std::string port;
    if (!rest.empty() && rest[0] == '[') {  // an IPv6 address in brackets
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) {
            error = "its IPv6 address has no ']'";
            return std::nullopt;
        }
        url.host = rest.substr(1, close - 1);
        rest = rest.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') {
            error = "it has text after the host that is no :port";
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
        error = "it needs a host, and no path, user or query";
        return std::nullopt;
    }
    if (!port.empty()) {
        const auto number = ParseInteger(port, 1, 65535);
        if (!number) {
            error = "its port is no number from 1 to 65535";
            return std::nullopt;
        }
        url.port = static_cast<int>(*number);
    }
    return url;
}

}  // namespace mqtt
