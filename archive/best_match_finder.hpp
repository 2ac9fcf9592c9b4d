// The match finder of the near-optimal LH5 packer: for every position of
// the input, the matches of every useful length within the 8 KiB window (a
// binary tree of the window's positions per 3-byte hash, as sorted strings),
// so that a parse can weigh each length, not only the longest.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace best {

struct Match {
    std::uint16_t length = 0;    // 3-256
    std::uint16_t distance = 0;  // 1-8191
};

// The matches at position i are matches[first[i]] to matches[first[i + 1]],
// by rising length, each the nearest of its length (within the search's
// depth). While a copy of the longest length goes on for that length again,
// the positions it passes get that match alone.
struct MatchTable {
    std::vector<std::uint32_t> first;  // input size + 1 entries
    std::vector<Match> matches;
};

MatchTable find_matches(std::span<const std::uint8_t> data);

}  // namespace best
