#include "ConfigFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace conf {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int follow = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (follow < 0 || (follow == 1 && c < 0xC2)) return false;
        if (i + follow >= text.size()) return false;
        for (int k = 1; k <= follow; ++k)
            if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) return false;
        i += follow + 1;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Byte offset of character `index` (0-based), or the size when the line is shorter.
std::size_t CharOffset(std::string_view line, std::size_t index)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (IsContinuation(static_cast<unsigned char>(line[i]))) continue;
        if (chars++ == index) return i;
    }
    return line.size();
}

enum class TReadOutcome { Read, Missing, Failed };

TReadOutcome ReadWholeFile(const std::string& path, std::string& content, std::string& error)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return TReadOutcome::Missing;
        error = std::strerror(errno);
        return TReadOutcome::Failed;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file";
        return TReadOutcome::Failed;
    }
    if (static_cast<std::size_t>(info.st_size) > MaxFileSize) {
        error = "larger than 1 MiB";
        return TReadOutcome::Failed;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return TReadOutcome::Failed;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad() || content.size() > MaxFileSize) {
        error = content.size() > MaxFileSize ? "larger than 1 MiB" : "read error";
        return TReadOutcome::Failed;
    }
    return TReadOutcome::Read;
}

std::string Decode(std::string content)
{
    if (content.starts_with("\xEF\xBB\xBF")) content.erase(0, 3);
    return IsValidUtf8(content) ? content : Latin1ToUtf8(content);
}

}  // namespace

TLines SplitLines(std::string_view text)
{
    TLines lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

int FindHeader(const TLines& lines, std::string_view caption)
{
    const std::string header = "sheet " + std::string(caption);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::string& line = lines[k];
        if (line.size() != header.size()) continue;
        bool same = true;
        for (std::size_t i = 0; same && i < line.size(); ++i) same = LowerAscii(line[i]) == LowerAscii(header[i]);
        if (same) return static_cast<int>(k);
    }
    return -1;
}

int CountItems(const TLines& lines, int header)
{
    int count = 0;
    for (std::size_t i = static_cast<std::size_t>(header) + 1; i < lines.size(); ++i) {
        if (lines[i].find("item") == std::string::npos) break;
        ++count;
    }
    return count;
}

std::string ItemText(std::string_view line)
{
    const std::size_t first = CharOffset(line, 6);
    const std::size_t limit = CharOffset(line, 63);
    std::string_view text = line.substr(first, limit - first);
    return std::string(text.substr(0, text.find('\'')));
}

std::string RowCaption(int number, std::string_view itemText)
{
    std::string caption = (number <= 9 ? "0" : "") + std::to_string(number);
    caption += "  ";
    caption += itemText;
    return caption;
}

std::optional<std::uint8_t> PagePrefix(std::string_view caption)
{
    if (caption == "Standard") return 0x1F;
    if (caption == "Trigger") return 0x26;
    if (caption == "Filling") return 0x06;
    if (caption == "Mass flow") return 0x2A;
    return std::nullopt;
}

std::vector<TSheetPlan> PlanSheets(const TLines& lines, const std::vector<std::string>& captions)
{
    std::vector<TSheetPlan> plans;
    for (std::size_t page = 0; page < captions.size() && page < MaxSheets; ++page) {
        const int header = FindHeader(lines, captions[page]);
        if (header < 0) continue;
        const int listed = CountItems(lines, header);
        if (listed == 0) continue;
        plans.push_back({static_cast<int>(page), header, std::min(listed, MaxItems), listed});
    }
    return plans;
}

std::vector<std::string> ConfigCandidates(const std::string& currentDir, const std::string& programDir,
                                          const std::string& installedFile)
{
    std::vector<std::string> candidates;
    const auto add = [&candidates](const std::string& path) {
        if (!path.empty() && std::find(candidates.begin(), candidates.end(), path) == candidates.end())
            candidates.push_back(path);
    };
    add((std::filesystem::path(currentDir) / FileName).lexically_normal().string());
    add((std::filesystem::path(programDir) / FileName).lexically_normal().string());
    add(installedFile);
    return candidates;
}

TConfigLoad LoadFirstConfig(const std::vector<std::string>& candidates)
{
    TConfigLoad load;
    for (const std::string& path : candidates) {
        std::string content, error;
        switch (ReadWholeFile(path, content, error)) {
        case TReadOutcome::Missing: continue;
        case TReadOutcome::Failed: load.Messages.push_back("Cannot read " + path + ": " + error); continue;
        case TReadOutcome::Read:
            load.Path = path;
            load.Lines = SplitLines(Decode(std::move(content)));
            load.Messages.push_back("Parameter pages read from " + path);
            return load;
        }
    }
    std::string looked;
    for (const std::string& path : candidates) looked += (looked.empty() ? "" : ", ") + path;
    load.Messages.push_back(std::string(FileName) + " not found (looked for " + looked +
                            "): the parameter pages stay empty");
    return load;
}

}  // namespace conf
