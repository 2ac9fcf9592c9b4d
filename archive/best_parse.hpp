// The parses of the near-optimal LH5 packer over one block of the input:
// lazy (the longest match unless the next position has a longer one), the
// first guess of the block's statistics; and the shortest path through the
// block under a cost per symbol and distance class, taken from a block's
// code lengths or from its statistics.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "archive/best_block.hpp"
#include "archive/best_match_finder.hpp"

namespace best {

// Costs in sixteenths of a bit per symbol, and per distance class with its
// extra bits.
struct CostModel {
    std::array<std::uint32_t, kSymbols> symbol{};
    std::array<std::uint32_t, kClasses> distance{};
};

// Costs from a block's code lengths, or from its counts (-log2 of each
// symbol's share, at least 1 bit); symbols left out get a cost as if they
// were rare, so that the next parse may still take them.
CostModel cost_model(const BlockCode& code);
CostModel cost_model(const Stats& stats);

// The tokens of data[begin, end): matches are cut to end there.
std::vector<Token> lazy_parse(std::span<const std::uint8_t> data, const MatchTable& table, std::size_t begin,
                              std::size_t end);
std::vector<Token> optimal_parse(std::span<const std::uint8_t> data, const MatchTable& table, std::size_t begin,
                                 std::size_t end, const CostModel& cost);

}  // namespace best
