// The blocks of a pcapng file as the telegram trace writes them: one section
// header, one interface of link type USER0 with nanosecond time stamps, and
// an enhanced packet block per telegram whose flags option carries the
// direction. Numbers are written little-endian; the section header's byte
// order mark tells readers so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace pcapng {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t LinkTypeUser0 = 147;

// The direction bits of the epb_flags option.
enum class Direction : std::uint8_t { Inbound = 1, Outbound = 2 };

Bytes SectionHeader();
Bytes InterfaceDescription();
// `nanoseconds` since 1970; `comment` is left out when empty.
Bytes EnhancedPacket(std::uint64_t nanoseconds, Direction direction, const std::uint8_t* data, std::size_t size,
                     std::string_view comment = {});

}  // namespace pcapng
