// Helpers the fuzz targets share: the fuzzer's bytes as a byte string (cut at
// 255, as on the wire) and as pieces split at a separator.
#pragma once

#include "base/ByteString.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline TByteString FuzzBytes(const std::uint8_t* data, std::size_t size)
{
    return TByteString(data, size < TByteString::MaxLength ? size : TByteString::MaxLength);
}

inline std::vector<std::string> FuzzPieces(const std::uint8_t* data, std::size_t size, char separator)
{
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (static_cast<char>(data[i]) == separator)
            pieces.emplace_back();
        else
            pieces.back() += static_cast<char>(data[i]);
    }
    return pieces;
}
