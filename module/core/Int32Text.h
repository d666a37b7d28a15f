// Signed 32-bit values as the module's commands carry them (no Qt here).
#pragma once

#include "base/ByteString.h"

#include <cstdint>
#include <optional>
#include <string_view>

// Decimal text with an optional sign and surrounding blanks; nullopt for
// anything else, including values outside the signed 32-bit range.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// Appends the four bytes of value, least significant first (cut at 255 bytes).
void AppendInt32(TByteString& command, std::int32_t value);
