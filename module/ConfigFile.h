// Reading "Quorvel.conf", the list of parameters per page (no Qt here).
//
// The file has no syntax of its own beyond two kinds of line: a header
// "sheet <page caption>" (letter case ignored, on any line), and directly
// below it the item lines, each containing "item"; the n-th item line names
// parameter n of the page. Every other line is a comment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace conf {

inline constexpr const char* FileName = "Quorvel.conf";
inline constexpr int MaxItems = 32;  // rows a page can hold
inline constexpr int MaxSheets = 8;  // pages that can get a sheet
inline constexpr std::size_t MaxFileSize = 1 << 20;

using TLines = std::vector<std::string>;

// Splits at CR LF, LF or CR; a final line break adds no empty line.
TLines SplitLines(std::string_view text);

// Index of the first line that equals "sheet " + caption ignoring letter
// case, or -1.
int FindHeader(const TLines& lines, std::string_view caption);

// Number of lines directly below `header` that contain "item" (case-sensitive).
int CountItems(const TLines& lines, int header);

// The item's name: from the 7th character up to the next "'", at most up to
// the 63rd character or the end of the line (characters are UTF-8 code points).
std::string ItemText(std::string_view line);

// "01  name" ... "09  name", "10  name" ...
std::string RowCaption(int number, std::string_view itemText);

// First command byte of the page's parameters: Standard 1F, Trigger 26,
// Filling 06, Mass flow 2A (caption compared exactly); none for others.
std::optional<std::uint8_t> PagePrefix(std::string_view caption);

// Where each page's sheet comes from.
struct TSheetPlan {
    int Page = 0;         // position in the page control
    int Header = 0;       // line index of the header
    int ItemCount = 0;    // rows made, 1..MaxItems
    int ListedItems = 0;  // item lines in the file (more than ItemCount when cut)
};

// One plan per page (of the first MaxSheets) with a header and at least one item.
std::vector<TSheetPlan> PlanSheets(const TLines& lines, const std::vector<std::string>& captions);

// Where the file is looked for, in order: the current folder, the program's
// folder, then the installed copy `installedFile` (left out when empty). A
// path that is already listed is not listed again.
std::vector<std::string> ConfigCandidates(const std::string& currentDir, const std::string& programDir,
                                          const std::string& installedFile);

// The result of looking for the file among candidate paths.
struct TConfigLoad {
    std::string Path;  // the file read; empty when none
    TLines Lines;
    std::vector<std::string> Messages;  // what happened, for the message memo
};

// Reads the first candidate that exists and can be read (a UTF-8 byte order
// mark is dropped; text that is not UTF-8 is taken as Latin-1). Candidates
// that exist but cannot be read are reported and skipped.
TConfigLoad LoadFirstConfig(const std::vector<std::string>& candidates);

}  // namespace conf
