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

#include <cstdint>
#include <optional>
#include <string>

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

// Converts the Windows bitmap `source` into the LogoImage `target`.
// `palette_option` switches single reservations off (logo_option bits);
// `no_reserve` switches all reservation and remapping off, keeping the
// source's palette and indices.
// Returns the colour code. Fails (Failed, with `target` left empty) on a
// depth other than 4 or 8 bits uncompressed (" !! BMP colors not support ...
// !!" on stdout) and on a damaged or oversized bitmap (a message on the
// console channel); `target` is written whole or not at all.
LogoColours logo_convert(const std::string& source, const std::string& target, LogoMode mode,
                         std::uint8_t palette_option, bool no_reserve);

// Screen position written in place of "KRBM" for an OSB CPU bitmap.
struct OsbPosition {
    std::int32_t x = 0, y = 0;  // stored as u16 each
};

// Converts the Windows bitmap `source` into the LogoImage `target` as it is:
// no frame, no reservation, no remapping; 256-colour rows are `width` bytes.
// Returns the colour code; fails like logo_convert, with its own depth
// message (" !! Unsupport this color mode in OSB ... !!" on stdout).
LogoColours osb_convert(const std::string& source, const std::string& target,
                        std::optional<OsbPosition> position);

// Turns the LogoImage `file` back into a Windows bitmap under the same name,
// through the work file "StdBMP.BMP". Returns true when done. A file that is
// no LogoImage (no "RGB " marker where a row length puts it, or cut short) is
// refused with a message on the console channel and left as it was. When the
// bitmap cannot be written, `*write_failed` (when given) is set, "StdBMP.BMP"
// is removed and `file` is left as it was.
bool logo_to_bmp(const std::string& file, bool* write_failed = nullptr);

// Limits on a picture, chosen to cover every screen a BIOS logo is shown on
// while keeping a converted picture well inside a 1 MB ROM image.
inline constexpr std::uint32_t kMaxLogoSide = 4096;                   // width and height
inline constexpr std::uint32_t kMaxLogoPixelBytes = 1024 * 1024;      // LogoImage pixel area
