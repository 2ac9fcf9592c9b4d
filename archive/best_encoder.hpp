// The near-optimal LH5 packer: a stream every LH5 reader decodes (8 KiB
// window, matches of 3-256, codes of at most 16 bits), usually smaller than
// the exact encoder's but not the same bytes. It works on the whole input in
// memory and keeps nothing in the codec's fixed storage, so it prints
// nothing and never gives up: the caller compares sizes and decides.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The stream of `input` (empty for an empty input), ended on a whole byte.
std::vector<std::uint8_t> lh5_compress_best(std::span<const std::uint8_t> input);
