#include "Json.h"

#include <cctype>
#include <cstdio>

namespace mqtt {

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

namespace {

// The JSON number grammar: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool IsJsonNumber(const std::string& s)
{
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        return i > from;
    };
    if (i < s.size() && s[i] == '-') ++i;
    if (i < s.size() && s[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < s.size() && s[i] == '.' && (++i, !digits())) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (!digits()) return false;
    }
    return i == s.size();
}

}  // namespace

TJsonObject& TJsonObject::Json(const std::string& name, const std::string& json)
{
    body_ += (body_.empty() ? "" : ", ") + JsonString(name) + ": " + json;
    return *this;
}

TJsonObject& TJsonObject::Text(const std::string& name, const std::string& value)
{
    return Json(name, JsonString(value));
}

TJsonObject& TJsonObject::Count(const std::string& name, std::uint64_t value)
{
    return Json(name, std::to_string(value));
}

TJsonObject& TJsonObject::Flag(const std::string& name, bool value) { return Json(name, value ? "true" : "false"); }

TJsonObject& TJsonObject::Number(const std::string& name, const std::string& decimal)
{
    return Json(name, IsJsonNumber(decimal) ? decimal : "null");
}

}  // namespace mqtt
