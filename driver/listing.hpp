// /D: the component listing and space report.
//
//   title, column header and an 80-character rule
//   row 0: the system BIOS (its header at first_member in a large image; in
//          a small one at 0, or at top_base when the chain starts at 0)
//   one row per member of the chain, in image order
//   "(SP) NCPUCODE" and "(BB) Compress BT-VGA" rows of blocks outside the chain
//   total, used and remaining space of the compressed area (32-bit, so a
//   chain that overruns its area shows a remaining space that wraps)
//   the on-board VGA line, the memory-module line, the microcode report
//
// Rows put the space in column 40 and the stored name in column 56 (see
// common/listing_row.hpp). The listing reads the image and changes nothing;
// its only work files are the microcode capture's.
//
// The operation itself, list_components, is declared for the option loop in
// driver/operations.hpp.
#pragma once

#include <cstdint>

struct BiosImage;

// The space the system BIOS member at `position` takes: the larger of
// 0x10000 and H + P + 4, cut at the end of the file (the chain starts
// there, see open_image); 0 when `position` is not inside the file.
std::uint32_t system_bios_space(std::uint32_t position, std::uint8_t header_size,
                                std::uint32_t packed_size, std::uint32_t file_size);

// The space report's figures: the compressed area's size and what the
// system BIOS, the chain and the top microcode block take (32-bit sums, as
// the listing prints them).
struct CompressedSpace {
    std::uint32_t total = 0, used = 0;
};
CompressedSpace compressed_space(const BiosImage& image);
