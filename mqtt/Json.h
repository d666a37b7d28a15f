// A JSON object written member by member: the payloads published to the
// broker are flat records of texts, numbers and flags, and need no more.
#pragma once

#include <cstdint>
#include <string>

namespace mqtt {

// `text` as a JSON string, quotes included; control characters escaped.
std::string JsonString(const std::string& text);

class TJsonObject {
public:
    TJsonObject& Text(const std::string& name, const std::string& value);
    TJsonObject& Count(const std::string& name, std::uint64_t value);
    TJsonObject& Flag(const std::string& name, bool value);
    // A number in its decimal text ("50.000", "-1.5E+06"); anything that is
    // not a finite JSON number ("NAN", "INF") is written as null.
    TJsonObject& Number(const std::string& name, const std::string& decimal);
    // A value already in JSON (an object or an array).
    TJsonObject& Json(const std::string& name, const std::string& json);

    std::string Str() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

}  // namespace mqtt
