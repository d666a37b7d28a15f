// The module parameter backup file (no Qt here): a plain text file with a
// header and one line per item of the parameter pages, tab-separated:
//
//   # Quorvel module parameter backup
//   date: 2026-12-09 10:55:00
//   program: Quorvel 1.0
//   slave address: 3
//   unit address: 0
//   identification: ...
//   # page  item  text  value
//   Standard	1	Zero range (%)	250
//   Standard	2	Power-up zero (%)	refused	<the module's error text>
//
// Items the module refused are kept as refused with their error text, so a
// backup never leaves an item out silently. Reading a file checks all of it
// against the page layout in use before anything is written to a module.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace backup {

inline constexpr const char* Title = "# Quorvel module parameter backup";

struct THeader {
    std::string date;
    std::string program;
    int slaveAddress = 0;
    int unitAddress = 0;
    std::string identification;  // empty when no key provides it
};

struct TItem {
    std::string page;
    int number = 0;  // 1-based, as the page shows it
    std::string text;
    std::optional<std::int32_t> value;  // none: refused
    std::string refusal;                // the module's error text when refused
};

struct TFile {
    THeader header;
    std::vector<TItem> items;
};

// The pages as the loaded configuration lays them out: caption, item texts
// and the page's command codes (read, write; 0 for none).
struct TPageLayout {
    std::string caption;
    std::vector<std::string> items;
    std::uint8_t readCode = 0;
    std::uint8_t writeCode = 0;
};

std::string Write(const TFile& file);

// The file, or the reason it is refused, naming its line ("line 7: ...").
struct TRead {
    std::optional<TFile> file;
    std::string error;
};
TRead Read(std::string_view text, const std::vector<TPageLayout>& layout);

}  // namespace backup
