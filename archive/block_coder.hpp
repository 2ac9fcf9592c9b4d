// The LH5 block coder: collects literals and matches in a token buffer
// (groups of up to eight tokens behind a flag byte, bit 7 for the first;
// a set bit marks a 3-byte match: length symbol - 256, distance high, low),
// and writes each full buffer as one block with its own Huffman codes. Also
// the bit output and the give-up rule: a byte is written only while the
// compressed size is below the input read so far; otherwise compression
// is abandoned and the caller stores the input.
#pragma once

// Per file: allocates the token buffer on first use ("Out of memory." when
// even 4096 bytes cannot be had), clears counts, the buffer and the bit holder.
void block_coder_start();

// Queues a literal (symbol 0-255) or a match (symbol 256-509, length
// symbol - 253, `distance` the 13-bit distance field). Flushes a block when
// the buffer holds 16360 bytes or more at the start of a new flag group.
void queue_token(unsigned symbol, unsigned distance);

// Writes the queued tokens as one block and clears the counts.
void flush_block();

// Appends the low n bits of `value`, most significant first; n = 0 writes
// nothing.
void emit_bits(int n, unsigned value);
