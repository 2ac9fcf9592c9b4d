// The built-in 640 x 16 strip that a framed boot logo carries in its last
// 16 rows: a line of text in palette index 1 on index 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace logo_strip {

inline constexpr std::size_t kWidth = 640;
inline constexpr std::size_t kHeight = 16;
inline constexpr std::size_t kBytes = kWidth * kHeight;  // 10240
inline constexpr std::size_t kPairs = 1267;

// The strip as stored: run-length pairs (value byte, count byte), taken row
// after row over the whole area.
extern const std::array<std::uint8_t, 2 * kPairs> kRuns;

// The strip expanded, top row first, one palette index a byte.
std::array<std::uint8_t, kBytes> expand();

}  // namespace logo_strip
