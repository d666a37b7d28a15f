// The module parameter backup file (no Qt here): a plain text file with a
// header, one line per item of the parameter pages, tab-separated, and an
// end line with the item count and the CRC-32 of everything before it:
//
//   # Quorvel module parameter backup
//   format: 2
//   date: 2026-12-09 10:55:00
//   program: Quorvel 1.0
//   slave address: 3
//   unit address: 0
//   identification: ...
//   # page  item  text  value
//   Standard	1	Zero range (%)	250
//   Standard	2	Power-up zero (%)	refused	<the module's error text>
//   # end: 2 items, CRC-32 1A2B3C4D
//
// Items the module refused are kept as refused with their error text, so a
// backup never leaves an item out silently. Reading a file checks all of it
// against the page layout in use before anything is written to a module: a
// file cut anywhere, altered, or naming an item twice is refused. A file of
// the first format (no format line, no end line) still reads, marked
// unchecked: a cut there cannot be seen.
//
// A file is written with the line ends of the platform (CR LF on Windows, LF
// elsewhere) and read with either, and with or without a leading UTF-8 byte
// order mark, as editors on both leave it: the check sum is always over the
// text with LF line ends, so a file carried between the systems stays whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace backup {

inline constexpr const char* Title = "# Quorvel module parameter backup";
inline constexpr std::size_t MaxFileSize = std::size_t{1} << 20;
inline constexpr std::size_t MaxLineLength = 4096;
inline constexpr std::size_t QuoteLength = 40;  // of a file's text quoted in a message

// The IEEE 802.3 CRC-32 (as zlib and PNG compute it).
std::uint32_t Crc32(std::string_view bytes);

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

#ifdef _WIN32
inline constexpr std::string_view NativeLineEnd = "\r\n";
#else
inline constexpr std::string_view NativeLineEnd = "\n";
#endif

std::string Write(const TFile& file, std::string_view lineEnd = NativeLineEnd);

// The file, or the reason it is refused, naming its line ("line 7: ...").
struct TRead {
    std::optional<TFile> file;
    std::string error;
    bool unchecked = false;  // a file of the first format: no end line to prove it whole
};
TRead Read(std::string_view text, const std::vector<TPageLayout>& layout);

// Reads the file at `path` (at most MaxFileSize bytes are ever read); the
// error names the file: "wzm1.txt, line 7: ...".
TRead ReadFile(const std::string& path, const std::vector<TPageLayout>& layout);

// The items of the pages that a backup reads (those with a read code) which
// `file` does not hold, in the layout's order: "Standard 3 Overload limit".
std::vector<std::string> AbsentItems(const TFile& file, const std::vector<TPageLayout>& layout);

// What the user is told before an unchecked file is restored.
std::string UncheckedWarning(const std::string& path);

}  // namespace backup
