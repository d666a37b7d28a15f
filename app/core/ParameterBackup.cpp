#include "ParameterBackup.h"

#include "base/IntegerText.h"

#include <limits>

namespace backup {

namespace {

constexpr const char* Columns = "# page\titem\ttext\tvalue";
constexpr const char* Refused = "refused";

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
    int number = 0;
    bool Next(std::string_view& line)
    {
        if (text.empty()) return false;
        const std::size_t end = text.find('\n');
        line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number;
        return true;
    }
};

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
        error = "'" + std::string(line) + "' is no header line";
        return false;
    }
    const std::string_view key = line.substr(0, colon);
    const std::string_view value = line.substr(colon + 2);
    auto address = [&](int& into, long long high) {
        const auto number = ParseInteger(value, 0, high);
        if (!number)
            error = std::string(key) + " '" + std::string(value) + "' is not from 0 to " + std::to_string(high);
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
    else if (key == "slave address")
        return address(header.slaveAddress, 126);
    else if (key == "unit address")
        return address(header.unitAddress, 255);
    else {
        error = "unknown header '" + std::string(key) + "'";
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
        error = "no page '" + item.page + "' in the page layout in use";
        return std::nullopt;
    }
    const auto number = ParseInteger(fields[1], 1, static_cast<long long>(page->items.size()));
    if (!number) {
        error = "item '" + std::string(fields[1]) + "' is not from 1 to " + std::to_string(page->items.size()) +
                " of page " + item.page;
        return std::nullopt;
    }
    item.number = static_cast<int>(*number);
    item.text = fields[2];
    const std::string& here = page->items[static_cast<std::size_t>(item.number - 1)];
    if (item.text != here) {
        error = "item " + std::to_string(item.number) + " of " + item.page + " is '" + here + "' here but '" +
                item.text + "' in the file (another page layout)";
        return std::nullopt;
    }
    if (fields[3] == Refused) {
        item.refusal = fields.size() == 5 ? std::string(fields[4]) : std::string();
        return item;
    }
    const auto value =
        ParseInteger(fields[3], std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    if (!value || fields.size() != 4) {
        error = "value '" + std::string(fields[3]) + "' is not a 32-bit integer";
        return std::nullopt;
    }
    item.value = static_cast<std::int32_t>(*value);
    return item;
}

}  // namespace

std::string Write(const TFile& file)
{
    const THeader& h = file.header;
    std::string text = std::string(Title) + "\n";
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
    return text;
}

TRead Read(std::string_view text, const std::vector<TPageLayout>& layout)
{
    TLineReader lines{text};
    std::string_view line;
    if (!lines.Next(line) || line != Title) return {std::nullopt, At(1, "not a Quorvel parameter backup")};
    TFile file;
    std::string error;
    bool inItems = false;
    while (lines.Next(line)) {
        if (line.empty()) continue;
        if (!inItems) {
            if (line == Columns)
                inItems = true;
            else if (!TakeHeader(line, file.header, error))
                return {std::nullopt, At(lines.number, error)};
            continue;
        }
        auto item = TakeItem(line, layout, error);
        if (!item) return {std::nullopt, At(lines.number, error)};
        file.items.push_back(std::move(*item));
    }
    if (!inItems) return {std::nullopt, At(lines.number, "the file ends before its items")};
    return {std::move(file), {}};
}

}  // namespace backup
