// Block boundaries of the near-optimal LH5 packer, chosen by cost on a
// first parse of the whole input: a block is split where two sets of codes,
// each paying for its tables, code its tokens in fewer bits than one set.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "archive/best_block.hpp"

namespace best {

// The input positions where blocks start, from 0, and the input's end last
// (an input of no tokens gives {0}).
std::vector<std::size_t> choose_blocks(std::span<const Token> tokens);

}  // namespace best
