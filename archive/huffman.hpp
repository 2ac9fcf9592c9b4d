// Huffman code construction of the LH5 compressor: code lengths limited to
// 16 bits, canonical codes, with the tie-breaks that fix the stream.
#pragma once

#include <cstdint>

// Builds the code for symbols 0..n-1 with counts `freq` (room for 2n - 1
// entries: inner nodes get their counts from n upwards) into `lengths` and
// `codes` (n entries each). Inner nodes' children go to the shared node
// arrays. Returns the root: an inner node (n or more), or, when fewer than
// two symbols occur, the only symbol (or 0), whose code is 0 and length 0.
// Writes "17" on the console channel once per step of shortening a code
// that came out longer than 16 bits.
int build_huffman_code(int n, std::uint16_t* freq, std::uint8_t* lengths, std::uint16_t* codes);
