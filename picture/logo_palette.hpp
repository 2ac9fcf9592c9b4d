// The palette of a converted logo: reserved system colours and the
// remapping of the source's colours around them.
//
// The BIOS draws its own text and frames in fixed palette entries: black at
// 0, grey at 7, blue at 9 (EPA logos) and white at 15 (16-colour logos). A
// logo keeps those entries for them and moves its own colours into the
// others, in the order its pixels use them.
#pragma once

#include <cstdint>
#include <vector>

#include "picture/logo.hpp"
#include "picture/logo_bitmap.hpp"

namespace logo_palette {

struct TargetPalette {
    std::vector<logo_bitmap::Colour> entries;  // 16 or 256, as in a bitmap file
    std::vector<bool> taken;                   // entry holds a colour

    // The entry of colour `c` (all four bytes): the first taken entry equal
    // to it, else the first free entry (which it then takes), else 0 when
    // the palette is full.
    std::uint8_t place(const logo_bitmap::Colour& c);
};

// The target palette with the reservations of `mode` and `palette_option`
// (logo_option bits) taken from `source`'s palette; all other entries free.
TargetPalette reserved_palette(const logo_bitmap::SourceBitmap& source, LogoMode mode, std::uint8_t palette_option);

// The index of every source palette entry in `target`, taking entries in the
// order the pixels of `source` first use them (bottom row first, left to
// right). Entries no pixel uses map to 0.
std::vector<std::uint8_t> remap_indices(const logo_bitmap::SourceBitmap& source, TargetPalette& target);

}  // namespace logo_palette
