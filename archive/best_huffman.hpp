// Huffman codes of the near-optimal LH5 packer: lengths of at most 16 bits
// from 32-bit counts (the rarest symbols the longest codes), and the
// canonical codes every LH5 reader rebuilds from the lengths.
#pragma once

#include <cstdint>
#include <span>

namespace best {

// Code lengths for the symbols with a count above 0; all lengths stay 0
// when fewer than two symbols occur (the stream then names the one symbol).
// The code is complete: the sum of 2^-length over the used symbols is 1.
void code_lengths(std::span<const std::uint32_t> freq, std::span<std::uint8_t> lengths, int limit = 16);

// Canonical codes: shorter codes first, within one length in symbol order.
void canonical_codes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes);

}  // namespace best
