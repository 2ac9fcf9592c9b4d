// The LH5 decoder: bit input, block headers (code-length tables), symbol
// and distance decoding, and the copy of matches from up to 8192 bytes back.
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
// source (set it first with lh5::source_from_memory), read in place. Past
// the source's end the stream reads as zero bytes, lh5::kReadAhead of them
// at most: the window's read-ahead; a step that would leave fewer than 32
// bits in the window even so means the stream has run out (a symbol may
// take bits from the first 4 zero bytes, none from the rest). Resets the
// bit window, the block and the pending copy.
void lh5_expand_start();

// Expands the next bytes of the member into window[pos, window.size()) and
// returns how many it wrote: all of them, or fewer when the stream has run
// out (see lh5_expand_start) or its
// code lengths are inconsistent (lh5_bad_table() then tells); the bytes
// before the symbol that could not be read are written, and every later
// call returns 0. window[0, pos) must hold the member's output so far, its
// last 8192 bytes at least (a match reaches back 8192 bytes); bytes before
// window[0] read as zero, as those before the member's first byte do. So
// the window is either the whole output from its first byte, or 8192 bytes
// kept from the previous piece (zeros before the first) and room behind.
[[nodiscard]] std::size_t lh5_expand_into(std::span<std::uint8_t> window, std::size_t pos);

// Expands the next `count` (1 to lh5::kWindowPiece) bytes into a window of
// the codec's storage, which keeps the last 8192 bytes of output for the
// next piece, and returns them: `count` bytes, or fewer as lh5_expand_into
// says. They stay there until the next call.
std::span<const std::uint8_t> lh5_expand_piece(std::size_t count);

// The same, copied to `buffer`: produces `count` (1 to 8192) bytes into it
// and returns how many.
[[nodiscard]] std::size_t lh5_expand(std::size_t count, std::uint8_t* buffer);

// Whether the stream the expansion ended on had inconsistent code lengths.
bool lh5_bad_table();

// The first reservation of lh5_expand_vector: a larger original size (read
// from a header, which may be damaged) grows the output as it comes.
inline constexpr std::size_t kReserveAtOnce = 16u << 20;

// Expands up to `size` bytes of the started member into `out`, which ends
// up holding them (fewer when the stream ends early or is bad); returns
// out.size(). With `crc`, carries the running CRC-16 over them as they come.
std::size_t lh5_expand_vector(std::vector<std::uint8_t>& out, std::size_t size, std::uint16_t* crc = nullptr);

// Whole-buffer form: expands `stream` into `original_size` bytes, or fewer
// when the stream runs out first. Fatal "Bad table" on inconsistent code
// lengths.
std::vector<std::uint8_t> lh5_expand_buffer(std::span<const std::uint8_t> stream, std::size_t original_size);
