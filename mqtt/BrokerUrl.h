// The broker's address as --mqtt gives it: mqtt://host[:port] (port 1883 by
// default) or mqtts://host[:port] (TLS, port 8883 by default).
#pragma once

#include <optional>
#include <string>

namespace mqtt {

struct TBrokerUrl {
    bool tls = false;
    std::string host;
    int port = 1883;

    std::string Text() const;  // as given, with the port always shown
};

// Nothing, with `error` saying what is wrong, for anything else.
std::optional<TBrokerUrl> ParseBrokerUrl(const std::string& text, std::string& error);

}  // namespace mqtt
