// Picture conversions between Windows bitmaps (16 or 256 colours,
// uncompressed) and the BIOS's own picture format, the LogoImage.
//
// LogoImage file, little-endian:
//   0   4          "KRBM" (an OSB picture with a screen position: X u16, Y u16)
//   4   2          width in pixels (the frame's width for a framed logo)
//   6   2          height in pixels (the frame's height for a framed logo)
//   8   height*R   pixel rows, top row first, R bytes each
//   ..  4          "RGB "
//   ..  48 or 768  palette: 16 entries blue, green, red or 256 entries red,
//                  green, blue; each value 0-63 (the 8-bit value shifted right 2)
// R and the coding of a row are in logo_format.hpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What a conversion produced; the values are the colour codes the add
// pipeline stores (non-zero means success).
enum class LogoColours : int { Failed = 0, Colours16 = 1, Colours256 = 16 };

// The two palette-working conversions: a boot logo is framed to 640 x 480
// (256 colours) and gets the built-in strip; an EPA logo keeps its size and
// reserves grey and blue as well as black.
enum class LogoMode { Epa = 0, Logo = 1 };

// Bits of `palette_option` (the image's logo flags byte).
namespace logo_option {
inline constexpr std::uint8_t kNoGreyWhiteOrStrip = 0x01;  // 16 colours: no grey/white; no strip
inline constexpr std::uint8_t kNoGrey = 0x10;
inline constexpr std::uint8_t kNoWhite = 0x20;
inline constexpr std::uint8_t kNoBlack = 0x40;
inline constexpr std::uint8_t kNoBlue = 0x80;  // EPA only
}  // namespace logo_option

// What a conversion produced: the colour code and, on success, the
// LogoImage bytes.
struct LogoConversion {
    LogoColours colours = LogoColours::Failed;
    std::vector<std::uint8_t> image;  // empty when Failed
};

// Whether `file` begins as a Windows bitmap does ("BM"): the adds convert
// such a file, and take any other as it stands.
inline bool is_windows_bitmap(std::span<const std::uint8_t> file) {
    return file.size() >= 2 && file[0] == 'B' && file[1] == 'M';
}

// Converts `bitmap`, the whole Windows bitmap file, into a LogoImage; `name`
// names it in messages. `palette_option` switches single reservations off
// (logo_option bits); `no_reserve` switches all reservation and remapping
// off, keeping the source's palette and indices.
// Fails (Failed, no image) on a depth other than 4 or 8 bits uncompressed
// (" !! BMP colors not support ... !!" on stdout) and on a damaged or
// oversized bitmap (a message naming `name` on the console channel).
// Reading the bitmap and writing the image are the caller's.
LogoConversion logo_convert(std::span<const std::uint8_t> bitmap, const std::string& name, LogoMode mode,
                            std::uint8_t palette_option, bool no_reserve);

// Screen position written in place of "KRBM" for an OSB CPU bitmap.
struct OsbPosition {
    std::int32_t x = 0, y = 0;  // stored as u16 each
};

// Converts `bitmap` into a LogoImage as it is: no frame, no reservation, no
// remapping; 256-colour rows are `width` bytes. Fails like logo_convert,
// with its own depth message (" !! Unsupport this color mode in OSB ...
// !!" on stdout).
LogoConversion osb_convert(std::span<const std::uint8_t> bitmap, const std::string& name,
                           std::optional<OsbPosition> position);

// The largest LogoImage logo_to_bmp takes; no LogoImage within the picture
// limits below comes near it.
inline constexpr std::size_t kMaxLogoImageBytes = 4 * 1024 * 1024;

// The Windows bitmap of the LogoImage `logo` (`name` names it in messages).
// Nothing, with a message naming `name` on the console channel, when `logo`
// is larger than kMaxLogoImageBytes or is no LogoImage (no "RGB " marker
// where a row length puts it, or cut short).
std::optional<std::vector<std::uint8_t>> logo_to_bmp(std::span<const std::uint8_t> logo, const std::string& name);

// Whether `logo` is a LogoImage logo_to_bmp takes: a width and a height,
// and "RGB " with a whole palette where a row length puts it.
bool is_logo_image(std::span<const std::uint8_t> logo);

// Limits on a picture, chosen to cover every screen a BIOS logo is shown on
// while keeping a converted picture well inside a 1 MB ROM image.
inline constexpr std::uint32_t kMaxLogoSide = 4096;               // width and height
inline constexpr std::uint32_t kMaxLogoPixelBytes = 1024 * 1024;  // LogoImage pixel area
