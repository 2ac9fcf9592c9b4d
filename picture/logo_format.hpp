// The row coding of a LogoImage and the offsets of its fields.
//
// 256 colours: one palette index per byte; a row is the width rounded up to a
// multiple of 8 bytes (640 for a logo framed to 640 columns, the width itself
// for an OSB picture).
// 16 colours: a row is four bit planes one after the other, R / 4 bytes each,
// R = ((width + 7) >> 1) & ~3. Plane p holds bit p of every pixel's index,
// 8 pixels a byte, the first pixel in the most significant bit; the bits
// past the last pixel are 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace logo_format {

inline constexpr std::size_t kMagicAt = 0;   // "KRBM", or X u16 and Y u16
inline constexpr std::size_t kWidthAt = 4;   // u16
inline constexpr std::size_t kHeightAt = 6;  // u16
inline constexpr std::size_t kPixelsAt = 8;  // first pixel row
inline constexpr std::string_view kMagic = "KRBM";
inline constexpr std::string_view kPaletteMarker = "RGB ";
inline constexpr std::size_t kPalette16Bytes = 16 * 3;
inline constexpr std::size_t kPalette256Bytes = 256 * 3;

// Row length of a 256-colour picture `width` pixels wide (unframed).
constexpr std::size_t row_bytes_256(std::size_t width) {
    return (width + 7) & ~std::size_t{7};
}

// Row length of a 16-colour picture `width` pixels wide: four planes.
constexpr std::size_t row_bytes_16(std::size_t width) {
    return ((width + 7) >> 1) & ~std::size_t{3};
}

// Stores `indices` (one 4-bit index a byte, width = indices.size()) as four
// planes into `row`. REQUIRES: row.size() == row_bytes_16(indices.size()).
void pack_planes(std::span<const std::uint8_t> indices, std::span<std::uint8_t> row);

// The reverse: the indices of the first indices.size() pixels of the planes
// in `row`. REQUIRES: row.size() == row_bytes_16(indices.size()).
void unpack_planes(std::span<const std::uint8_t> row, std::span<std::uint8_t> indices);

}  // namespace logo_format
