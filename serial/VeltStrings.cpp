#include "VeltStrings.h"

#include "VeltExcept.h"

#include <cstdio>
#include <map>
#include <mutex>

namespace {

std::uint32_t Read32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct TTableRegistry {
    std::mutex mutex;
    std::map<std::string, TStringTableBlob> tables;
};

TTableRegistry& Registry()
{
    static TTableRegistry registry;
    return registry;
}

// The reader's own messages; the literal is used only when the reader's table
// itself is unusable, or is the one being read (`tableName`).
std::string ReaderMessage(std::uint32_t id, const std::string& argument, const std::string& tableName)
{
    static const char* const fallback[] = {"",
                                           "String not found: %d",
                                           "Cannot lock resource",
                                           "String resource not found: %s",
                                           "Unable to open string resource: %s",
                                           "%s is not a string table."};
    std::string format;
    try {
        if (tableName != ReaderStringsName) format = ReaderStrings().GetString(id);
    } catch (const EStringTableError&) {
    }
    if (format.empty() && id < std::size(fallback)) format = fallback[id];
    const auto at = format.find('%');
    if (at != std::string::npos && at + 1 < format.size()) format.replace(at, 2, argument);
    return format;
}

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16LE to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::uint8_t* p, std::uint32_t units)
{
    std::string out;
    out.reserve(units);
    for (std::uint32_t i = 0; i < units; ++i) {
        std::uint32_t c = p[2 * i] | (p[2 * i + 1] << 8);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            const std::uint32_t low = p[2 * i + 2] | (p[2 * i + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, (c >= 0xD800 && c < 0xE000) ? 0xFFFD : c);
    }
    return out;
}

}  // namespace

void RegisterStringTable(const std::string& name, TStringTableBlob blob)
{
    std::lock_guard lock(Registry().mutex);
    Registry().tables[name] = blob;
}

void UnregisterStringTable(const std::string& name)
{
    std::lock_guard lock(Registry().mutex);
    Registry().tables.erase(name);
}

TStringTableBlob FindStringTable(const std::string& name)
{
    {
        std::lock_guard lock(Registry().mutex);
        if (auto it = Registry().tables.find(name); it != Registry().tables.end()) return it->second;
    }
    return FindBuiltinStringTable(name);
}

TVeltStringResource::TVeltStringResource(const std::string& name)
{
    table_ = FindStringTable(name);
    if (!table_.data) throw EStringTableError(ReaderMessage(3, name, name));
    const auto* p = table_.data;
    const std::size_t size = table_.size;
    bool valid = size >= 8 && p[0] == 'S' && p[1] == 'T' && p[2] == 'R' && p[3] == '0';
    if (valid) {
        count_ = Read32(p + 4);
        valid = count_ <= (size - 8) / 12;
    }
    // Every index entry must point inside the table, and the ids must ascend
    // (the lookup is a binary search).
    for (std::uint32_t i = 0; valid && i < count_; ++i) {
        const auto* entry = p + 8 + 12 * i;
        const std::uint64_t offset = Read32(entry + 4);
        const std::uint64_t bytes = 2ull * Read32(entry + 8);
        valid =
            offset >= 8 + 12ull * count_ && offset + bytes <= size && (i == 0 || Read32(entry) > Read32(entry - 12));
    }
    if (!valid) throw EStringTableError(ReaderMessage(5, name, name));
}

std::string TVeltStringResource::GetString(std::uint32_t id) const
{
    std::int64_t low = 0;
    std::int64_t high = static_cast<std::int64_t>(count_) - 1;
    while (low <= high) {
        const std::int64_t middle = (low + high) / 2;
        const auto* entry = table_.data + 8 + 12 * middle;
        const std::uint32_t entryId = Read32(entry);
        if (entryId == id) return Utf16ToUtf8(table_.data + Read32(entry + 4), Read32(entry + 8));
        if (entryId < id)
            low = middle + 1;
        else
            high = middle - 1;
    }
    if (RaiseOnMissing) throw EStringTableError(ReaderMessage(1, std::to_string(id), {}));
    return {};
}

const TVeltStringResource& ReaderStrings()
{
    static const TVeltStringResource reader(ReaderStringsName);
    return reader;
}

const TVeltStringResource& ErrorStrings()
{
    static const TVeltStringResource errors(ErrorStringsName);
    return errors;
}
