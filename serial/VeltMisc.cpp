#include "VeltMisc.h"

std::string CollapseWhitespace(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 32) c = ' ';
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

std::string CutText(const std::string& text, std::size_t limit)
{
    return text.size() <= limit ? text : text.substr(0, limit);
}
