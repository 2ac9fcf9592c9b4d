// The LH5 decoder: bit input, block headers (code-length tables), symbol
// and distance decoding, and the copy of matches within an 8192-byte ring.
//
// Bits are taken most significant first. A block starts with a 16-bit
// symbol count, the pre-code lengths (5-bit count), the symbol lengths
// (9-bit count, coded with the pre-code) and the distance-class lengths
// (4-bit count). A count of 0 means a one-symbol code given in the next
// field, which then costs no bits per use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Starts decoding a member whose compressed bytes come from the codec's
// source (set it first with lh5::source_from_memory). Past the source's end
// the stream reads as zero bytes, lh5::kReadAhead of them at most: the
// window's read-ahead. Resets the bit window, the block and the pending copy.
void lh5_expand_start();

// Produces `count` (1 to 8192) bytes into `buffer`, an 8192-byte ring that
// also holds earlier output: pass the same buffer each time, with 8192 on
// every call but the last. Returns `count`, or fewer when the stream has run
// out (it needed more than kReadAhead bytes past the source's end) or its
// code lengths are inconsistent (lh5_bad_table() then tells): the bytes
// before the symbol that could not be read are in `buffer`, and every later
// call returns 0.
[[nodiscard]] std::size_t lh5_expand(std::size_t count, std::uint8_t* buffer);

// Whether the stream lh5_expand ended on had inconsistent code lengths.
bool lh5_bad_table();

// Whole-buffer form: expands `stream` into `original_size` bytes, or fewer
// when the stream runs out first. Fatal "Bad table" on inconsistent code
// lengths.
std::vector<std::uint8_t> lh5_expand_buffer(std::span<const std::uint8_t> stream,
                                            std::size_t original_size);
