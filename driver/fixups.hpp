// The closing fix-ups of a run that changed the image: the "*BS1" free-space
// pointer and the check bytes it moves, the bank block's check byte, the
// compressed area's two check bytes, the "IMD$" area, and the file's 16-bit
// word sum (with an "IMD$" area also its 8-bit byte sum), made 0 by
// adjusting reserved bytes. The file keeps its size; nothing is printed.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/run_state.hpp"
#include "image/bios_image.hpp"


// Runs the fix-ups on the open image. Writes go through the image writer:
// a failed write ends the run with status 1.
void close_image_bookkeeping(RunState& state, BiosImage& image);

// The bytes the fix-ups may change, each named ("bs1_pointer",
// "check_bytes", "bank_check_byte", "imd_block" or "sum_word"); absent ones
// are left out.
struct NamedRange {
    const char* what;
    ByteRange range;
};
std::vector<NamedRange> fixup_ranges(const BiosImage& image);

// The 16-bit little-endian word sum of the whole file (a last odd byte is
// not counted) and its 8-bit byte sum.
struct FileSums {
    std::uint16_t words = 0;
    std::uint8_t bytes = 0;
};
FileSums file_sums(BiosImage& image);

// The 8-bit sum of the bytes in [from, to) of the image.
std::uint8_t range_byte_sum(BiosImage& image, std::uint64_t from, std::uint64_t to);

// True when the image's "IMD$" block begins with "IMD$" (its sums are then kept).
bool imd_area_marked(BiosImage& image);
