// The LH5 compressor's main loop: one-step lazy matching with a minimum
// match of 3 over the tree match finder, feeding the block coder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/voice.hpp"

// Compresses the codec's source into its sink (set both first with
// lh5::source_from_memory / lh5::sink_to_memory), starting its counters
// (original_size, packed_size, crc) from 0. On return the stream is
// complete and flushed to the sink, or the counters' give_up is set
// (compression did not pay). `voice` takes the console channel's words:
// a "." for every 8192 bytes read after the first piece when `verbose`,
// and a "17" for each step that shortens a Huffman code to 16 bits.
void lh5_compress(bool verbose, Voice voice = {});

// Reads up to n bytes of input into `buffer`, counting them into
// original_size and the CRC. Returns how many were read.
std::size_t read_input(std::uint8_t* buffer, std::size_t n);

struct Lh5Stream {
    std::vector<std::uint8_t> data;  // the stream, when not given up
    bool gave_up = false;            // compression did not pay
    std::uint16_t crc = 0;           // CRC-16 of the input (of the part read, when given up)
};

// Whole-buffer form: compresses `input` in memory.
Lh5Stream lh5_compress_buffer(std::span<const std::uint8_t> input);
