// String tables in the "STR0" layout, compiled into the program and found by
// name. Layout (all integers unsigned 32-bit little-endian):
//   "STR0", entry count N, N index entries sorted by ascending id
//   (id, offset of the text from the start of the table, length in UTF-16
//   units), then the texts in UTF-16LE without terminators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr const char* ReaderStringsName = "VELT_READER_STRINGS";
inline constexpr const char* ErrorStringsName = "VELT_ERROR_STRINGS_ENGLISH";

// A table's bytes as linked into the program.
struct TStringTableBlob {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

// The registry of tables by name. The two tables generated at build time are
// always there; more can be added (a table added later under the same name
// hides the built-in one). Returns an empty blob when the name is unknown.
void RegisterStringTable(const std::string& name, TStringTableBlob blob);
void UnregisterStringTable(const std::string& name);
TStringTableBlob FindStringTable(const std::string& name);

// Reads one table. Creating it checks the whole layout once, so lookups can
// trust it; a missing table or a malformed one raises EStringTableError.
class TVeltStringResource {
public:
    explicit TVeltStringResource(const std::string& name);

    // The text of `id` converted to UTF-8; empty when there is no such entry,
    // or EStringTableError "String not found: <id>" when RaiseOnMissing is set.
    std::string GetString(std::uint32_t id) const;

    bool RaiseOnMissing = false;

private:
    TStringTableBlob table_;
    std::uint32_t count_ = 0;
};

// The process-wide readers of the two built-in tables, created on first use.
const TVeltStringResource& ReaderStrings();
const TVeltStringResource& ErrorStrings();

// Generated at build time: the built-in tables by name (empty blob if none).
TStringTableBlob FindBuiltinStringTable(std::string_view name);
