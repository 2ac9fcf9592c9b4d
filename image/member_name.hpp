// The stored name of a member as listings show it, read from header bytes
// that may be damaged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

inline constexpr std::size_t kNameLengthAt = 21;  // N, 1 byte
inline constexpr std::size_t kNameAt = 22;        // N bytes
inline constexpr std::size_t kLongestHeader = 255 + 2;  // H + 2 bytes at most

// The name in `header` (the member's first bytes, as many as could be read):
// N bytes from offset 22, but never past the header's H + 2 bytes or the end
// of `header`, and ending at a 0 byte. Points into `header`.
std::string_view listed_member_name(std::span<const std::uint8_t> header);
