#include "ParameterBackup.h"

#include "base/IntegerText.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <utility>

namespace backup {

namespace {

constexpr const char* Columns = "# page\titem\ttext\tvalue";
constexpr const char* Refused = "refused";
constexpr const char* FormatKey = "format";
constexpr const char* Format = "2";
constexpr std::string_view EndMark = "# end: ";

// A text from the file as a message quotes it: at most QuoteLength characters.
std::string Quote(std::string_view text)
{
    if (text.size() <= QuoteLength) return "'" + std::string(text) + "'";
    return "'" + std::string(text.substr(0, QuoteLength)) + "...'";
}

std::string Hex8(std::uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

std::string EndLine(std::size_t items, std::uint32_t crc)
{
    return std::string(EndMark) + std::to_string(items) + " items, CRC-32 " + Hex8(crc);
}

// Tabs and line breaks would split the line: they become blanks.
std::string Field(std::string text)
{
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

std::vector<std::string_view> SplitTabs(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

struct TLineReader {
    std::string_view text;
    std::size_t offset = 0;  // where the line Next gave starts
    std::size_t next = 0;
    bool ended = false;  // the line ends with a line break
    int number = 0;
    bool Next(std::string_view& line)
    {
        if (next >= text.size()) return false;
        offset = next;
        const std::size_t end = text.find('\n', offset);
        ended = end != std::string_view::npos;
        line = text.substr(offset, ended ? end - offset : std::string_view::npos);
        next = ended ? end + 1 : text.size();
        ++number;
        return true;
    }
};

// The text as it was written: without a leading UTF-8 byte order mark, CR LF
// line ends as LF (a CR alone stays, and fails where it stands).
std::string WithLfLineEnds(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::string lf;
    lf.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') lf += text[i];
    return lf;
}

std::string At(int line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

const TPageLayout* FindPage(const std::vector<TPageLayout>& layout, std::string_view caption)
{
    for (const TPageLayout& page : layout)
        if (page.caption == caption) return &page;
    return nullptr;
}

// A header line "key: value" into `header`; false when the key is unknown or
// an address is no number in its range.
bool TakeHeader(std::string_view line, THeader& header, std::string& error)
{
    const std::size_t colon = line.find(": ");
    if (colon == std::string_view::npos) {
        error = Quote(line) + " is no header line";
        return false;
    }
    const std::string_view key = line.substr(0, colon);
    const std::string_view value = line.substr(colon + 2);
    auto address = [&](int& into, long long high) {
        const auto number = ParseInteger(value, 0, high);
        if (!number)
            error = std::string(key) + " " + Quote(value) + " is not from 0 to " + std::to_string(high);
        else
            into = static_cast<int>(*number);
        return number.has_value();
    };
    if (key == "date")
        header.date = value;
    else if (key == "program")
        header.program = value;
    else if (key == "identification")
        header.identification = value;
    else if (key == FormatKey) {
        if (value == Format) return true;
        error = "format " + Quote(value) + " is not one this program reads";
        return false;
    } else if (key == "slave address")
        return address(header.slaveAddress, 126);
    else if (key == "unit address")
        return address(header.unitAddress, 255);
    else {
        error = "unknown header " + Quote(key);
        return false;
    }
    return true;
}

std::optional<TItem> TakeItem(std::string_view line, const std::vector<TPageLayout>& layout, std::string& error)
{
    const auto fields = SplitTabs(line);
    if (fields.size() < 4 || fields.size() > 5) {
        error = "expected page, item, text and value separated by tabs";
        return std::nullopt;
    }
    TItem item;
    item.page = fields[0];
    const TPageLayout* page = FindPage(layout, fields[0]);
    if (!page) {
        error = "no page " + Quote(item.page) + " in the page layout in use";
        return std::nullopt;
    }
    const auto number = ParseInteger(fields[1], 1, static_cast<long long>(page->items.size()));
    if (!number) {
        error = "item " + Quote(fields[1]) + " is not from 1 to " + std::to_string(page->items.size()) + " of page " +
                item.page;
        return std::nullopt;
    }
    item.number = static_cast<int>(*number);
    item.text = fields[2];
    const std::string& here = page->items[static_cast<std::size_t>(item.number - 1)];
    if (item.text != here) {
        error = "item " + std::to_string(item.number) + " of " + item.page + " is " + Quote(here) + " here but " +
                Quote(item.text) + " in the file (another page layout)";
        return std::nullopt;
    }
    if (fields[3] == Refused) {
        item.refusal = fields.size() == 5 ? std::string(fields[4]) : std::string();
        return item;
    }
    const auto value =
        ParseInteger(fields[3], std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    if (!value || fields.size() != 4) {
        error = "value " + Quote(fields[3]) + " is not a 32-bit integer";
        return std::nullopt;
    }
    item.value = static_cast<std::int32_t>(*value);
    return item;
}

}  // namespace

std::uint32_t Crc32(std::string_view bytes)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char ch : bytes) crc = table[(crc ^ static_cast<std::uint8_t>(ch)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string Write(const TFile& file, std::string_view lineEnd)
{
    const THeader& h = file.header;
    std::string text = std::string(Title) + "\n" + FormatKey + ": " + Format + "\n";
    text += "date: " + Field(h.date) + "\nprogram: " + Field(h.program) +
            "\nslave address: " + std::to_string(h.slaveAddress) + "\nunit address: " + std::to_string(h.unitAddress) +
            "\n";
    if (!h.identification.empty()) text += "identification: " + Field(h.identification) + "\n";
    text += std::string(Columns) + "\n";
    for (const TItem& item : file.items) {
        text += Field(item.page) + "\t" + std::to_string(item.number) + "\t" + Field(item.text) + "\t";
        text += item.value ? std::to_string(*item.value) : std::string(Refused) + "\t" + Field(item.refusal);
        text += "\n";
    }
    text += EndLine(file.items.size(), Crc32(text)) + "\n";
    if (lineEnd == "\n") return text;
    std::string ended;
    ended.reserve(text.size() + text.size() / 16);
    for (const char c : text) c == '\n' ? ended += lineEnd : ended += c;
    return ended;
}

TRead Read(std::string_view original, const std::vector<TPageLayout>& layout)
{
    if (original.size() > MaxFileSize) return {std::nullopt, "larger than 1 MiB: no parameter backup is that long"};
    const std::string unified = WithLfLineEnds(original);
    const std::string_view text = unified;
    TLineReader lines{text};
    std::string_view line;
    const auto refuse = [&lines](const std::string& why) { return TRead{std::nullopt, At(lines.number, why)}; };
    const auto tooLong = [&line] { return line.size() > MaxLineLength; };
    if (!lines.Next(line) || tooLong() || line != Title) return {std::nullopt, At(1, "not a Quorvel parameter backup")};
    TFile file;
    std::string error;
    bool inItems = false;
    bool checked = false;                             // the file carries a format line: its end line must be there
    std::map<std::pair<std::string, int>, int> seen;  // page and item: the line naming it
    while (lines.Next(line)) {
        if (tooLong()) return refuse("longer than " + std::to_string(MaxLineLength) + " bytes");
        if (line.empty()) continue;
        if (!inItems) {
            if (line == Columns)
                inItems = true;
            else if (!TakeHeader(line, file.header, error))
                return refuse(error);
            else if (line.starts_with(FormatKey))
                checked = true;
            continue;
        }
        if (line.starts_with(EndMark)) {
            const std::string expected = EndLine(file.items.size(), Crc32(text.substr(0, lines.offset)));
            if (line.substr(0, line.rfind(',')) != expected.substr(0, expected.rfind(',')))
                return refuse("the end line counts other items than the file holds (" +
                              std::to_string(file.items.size()) + "): items were cut out or added");
            if (line != expected) return refuse("the check sum does not match: the file was altered or damaged");
            if (!lines.ended) return refuse("the end line is cut short");
            if (lines.next != text.size()) return refuse("text follows the end line");
            return {std::move(file), {}};
        }
        auto item = TakeItem(line, layout, error);
        if (!item) return refuse(error);
        const auto [at, added] = seen.try_emplace({item->page, item->number}, lines.number);
        if (!added)
            return refuse(item->page + " " + std::to_string(item->number) + " is named a second time (first on line " +
                          std::to_string(at->second) + ")");
        file.items.push_back(std::move(*item));
    }
    if (!inItems) return refuse("the file ends before its items");
    if (checked) return refuse("the file ends without its end line: it was cut short");
    return {std::move(file), {}, true};
}

TRead ReadFile(const std::string& path, const std::vector<TPageLayout>& layout)
{
    const auto fail = [&path](const std::string& why) { return TRead{std::nullopt, path + ": " + why}; };
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec) return fail(ec.message());
    if (!std::filesystem::is_regular_file(status)) return fail("not a regular file");
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return fail(std::strerror(errno));
    // One byte more than allowed shows a longer file without reading it all.
    std::string text(MaxFileSize + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), in));
    const bool failed = std::ferror(in) != 0;
    const int reason = errno;
    std::fclose(in);
    if (failed) return fail(std::strerror(reason));
    TRead read = Read(text, layout);
    if (!read.file) read.error = path + ", " + read.error;
    return read;
}

std::vector<std::string> AbsentItems(const TFile& file, const std::vector<TPageLayout>& layout)
{
    std::set<std::pair<std::string, int>> held;
    for (const TItem& item : file.items) held.insert({item.page, item.number});
    std::vector<std::string> absent;
    for (const TPageLayout& page : layout) {
        if (page.readCode == 0) continue;
        for (std::size_t i = 0; i < page.items.size(); ++i)
            if (!held.count({page.caption, static_cast<int>(i) + 1}))
                absent.push_back(page.caption + " " + std::to_string(i + 1) + " " + page.items[i]);
    }
    return absent;
}

std::string UncheckedWarning(const std::string& path)
{
    return path +
           " is a backup of the first format, without an end line: if the file was cut short, the items "
           "lost cannot be detected, and only the items it still holds are restored.";
}

}  // namespace backup
