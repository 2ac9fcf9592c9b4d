// The closing fix-ups of a run that changed the image: the "*BS1" free-space
// pointer and the check bytes it moves, the bank block's check byte, the
// compressed area's two check bytes, the "IMD$" area, and the file's 16-bit
// word sum (with an "IMD$" area also its 8-bit byte sum), made 0 by
// adjusting reserved bytes. The file keeps its size; nothing is printed.
#pragma once

#include <cstdint>

#include "image/bios_image.hpp"
#include "image/image_writer.hpp"

// What the fix-ups need to know of the run.
struct FixupRequest {
    bool top_block_named = false;  // /NC_CPUCODE was a group of the run
    bool group_failed = false;     // the last group found no room, or no member of its kind
    bool err_mode = false;         // /err was given
};

// Runs the fix-ups, through the writer (the regions Bs1Pointer, CheckBytes,
// BankCheckByte and SumBytes).
void close_image_bookkeeping(ImageWriter& writer, const FixupRequest& run);

// The 16-bit little-endian word sum of the whole file (a last odd byte is
// not counted) and its 8-bit byte sum.
struct FileSums {
    std::uint16_t words = 0;
    std::uint8_t bytes = 0;
};
FileSums file_sums(const BiosImage& image);

// The 8-bit sum of the bytes in [from, to) of the image.
std::uint8_t range_byte_sum(const BiosImage& image, std::uint64_t from, std::uint64_t to);

// True when the image's "IMD$" block begins with "IMD$" (its sums are then kept).
bool imd_area_marked(const BiosImage& image);
