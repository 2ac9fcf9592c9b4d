// Reading a Windows bitmap that is to become a LogoImage: the header, the
// palette and the pixel rows, checked against the file before anything is
// used, so no read goes past the file or a buffer.
//
// Windows bitmap layout (little-endian) as read here:
//   0  "BM"              10 u32 data offset      14 u32 info header size (40 or more)
//   18 i32 width         22 i32 height (bottom-up rows when positive)
//   28 u16 bits a pixel  30 u32 compression (0 = none)   46 u32 colours used
//   14 + header size: the palette, 4 bytes an entry (blue, green, red, reserved)
//   data offset: the rows, bottom row first, each padded to a multiple of 4 bytes
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace logo_bitmap {

inline constexpr std::size_t kDataOffsetAt = 10;
inline constexpr std::size_t kInfoSizeAt = 14;
inline constexpr std::size_t kWidthAt = 18;
inline constexpr std::size_t kHeightAt = 22;
inline constexpr std::size_t kBitsAt = 28;
inline constexpr std::size_t kCompressionAt = 30;
inline constexpr std::size_t kColoursUsedAt = 46;
inline constexpr std::size_t kHeaderBytes = 54;  // file header 14 + info header 40
inline constexpr std::size_t kDepthTestBytes = 32;

using Colour = std::array<std::uint8_t, 4>;  // blue, green, red, reserved

struct SourceBitmap {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    unsigned bits = 0;       // 4 or 8
    std::size_t stride = 0;  // bytes a stored row, a multiple of 4
    // 16 or 256 entries as in the file; entries past the bitmap's own colour
    // count are 0xFF in all four bytes.
    std::vector<Colour> palette;
    std::size_t declared = 0;        // the bitmap's own colour count (entries present)
    std::vector<std::uint8_t> rows;  // height * stride bytes, bottom row first

    std::size_t colours() const { return palette.size(); }
    // Palette index of pixel x (< width) of stored row r (0 = bottom row).
    std::uint8_t index(std::size_t r, std::size_t x) const {
        const std::uint8_t* row = rows.data() + r * stride;
        if (bits == 8) return row[x];
        const std::uint8_t b = row[x / 2];
        return static_cast<std::uint8_t>(x % 2 ? b & 0x0F : b >> 4);
    }
};

// Reads and checks `file`, the whole bitmap file, which `name` names in
// messages. A depth other than 4 or 8 bits a pixel without compression
// prints `depth_message` on standard output; any other fault (no bitmap,
// size 0 or over kMaxLogoSide, data offset outside the file, palette shorter
// than its colour count, rows cut short) prints a message naming `name` on
// the console channel. Returns nothing after either.
std::optional<SourceBitmap> read_source_bitmap(std::span<const std::uint8_t> file, const std::string& name,
                                               std::string_view depth_message);

// Prints the refusal of a picture whose LogoImage would exceed
// kMaxLogoPixelBytes (console channel).
void report_too_large(const std::string& name, const SourceBitmap& bmp, std::size_t pixel_bytes);

}  // namespace logo_bitmap
