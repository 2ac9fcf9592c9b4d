// Canonical Huffman decode tables of the LH5 stream: a first-level lookup
// by the top `table_bits` bits of the bit window, and for longer codes a
// walk through the shared node arrays `left`/`right` (bit 1 right, bit 0
// left). Shorter codes come first; within one length, symbols in order.
#pragma once

#include <cstdint>
#include <span>

// An entry of a fast table: the symbol with its code length (symbol << 6 |
// length), so that one lookup gives both, and the length is the entry's low
// six bits, which is all of it that a 64-bit shift by the entry uses; or
// kFastLongCode | node for a code longer than the table's width, whose walk
// starts at that node.
inline constexpr unsigned kFastSymbolShift = 6;
inline constexpr unsigned kFastLengthMask = (1u << kFastSymbolShift) - 1;
inline constexpr unsigned kFastLongCode = 0x8000;

// Fills `table` (2^table_bits entries) and the node arrays for the code with
// `lengths` (one per symbol, 0 = unused, at most 16; 510 symbols at most).
// Nodes are numbered from lengths.size() upwards. With `fast` (as large as
// `table`), fills it too: entry i describes the same code as table[i].
// Returns false (a bad table) when a length exceeds 16 or the lengths do
// not make a complete code (sum of 2^(16 - length) not exactly 65536). All
// lengths 0 is accepted and clears the table to symbol 0 (of length 0).
[[nodiscard]] bool build_decode_table(std::span<const std::uint8_t> lengths, int table_bits,
                                      std::span<std::uint16_t> table, std::span<std::uint16_t> fast = {});
