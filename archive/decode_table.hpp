// Canonical Huffman decode tables of the LH5 stream: a first-level lookup
// by the top `table_bits` bits of the bit window, and for longer codes a
// walk through the shared node arrays `left`/`right` (bit 1 right, bit 0
// left). Shorter codes come first; within one length, symbols in order.
#pragma once

#include <cstdint>
#include <span>

// Fills `table` (2^table_bits entries) and the node arrays for the code with
// `lengths` (one per symbol, 0 = unused, at most 16). Nodes are numbered
// from lengths.size() upwards.
// Returns false (a bad table) when a length exceeds 16 or the lengths do
// not make a complete code (sum of 2^(16 - length) not exactly 65536). All
// lengths 0 is accepted and clears the table to symbol 0.
[[nodiscard]] bool build_decode_table(std::span<const std::uint8_t> lengths, int table_bits,
                                      std::span<std::uint16_t> table);
