// Binary-tree match finding: each position is inserted at the root of its
// hash's tree, and the walk down that tree meets every earlier string of
// the window in sorted order, so the matches it passes grow in length. The
// tree keeps the newest position at its root, so the first match of each
// length the walk meets is the nearest.
#include "archive/best_match_finder.hpp"

#include <algorithm>
#include <bit>

#include "archive/best_block.hpp"

namespace best {
namespace {

constexpr int kHashBits = 16;            // at most; fewer for a small input
constexpr std::uint32_t kWindow = 8192;  // tree slots: distances below it
constexpr int kDepth = 64;               // tree nodes visited per position at most
constexpr std::int32_t kNone = -1;

// The heads of the hash's trees and two children per position, in slots
// by position modulo the window (or the input, when that is smaller).
struct Tree {
    int hash_shift = 0;
    std::uint32_t slot_mask = 0;
    std::vector<std::int32_t> head;
    std::vector<std::int32_t> child;  // smaller, larger
};

Tree make_tree(std::size_t n) {
    const int hash_bits = std::clamp(static_cast<int>(std::bit_width(n)), 8, kHashBits);
    const std::uint32_t slots = std::min<std::uint32_t>(kWindow, std::bit_ceil(static_cast<std::uint32_t>(n)));
    return {32 - hash_bits, slots - 1, std::vector<std::int32_t>(std::size_t{1} << hash_bits, kNone),
            std::vector<std::int32_t>(2 * std::size_t{slots}, kNone)};
}

std::uint32_t hash3(const Tree& t, const std::uint8_t* p) {
    const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    return (v * 2654435761u) >> t.hash_shift;
}

// Inserts position `pos` and appends the matches met on the way (longer
// ones only) to `out`; `limit` is the longest length the input allows.
void insert(Tree& t, std::span<const std::uint8_t> data, std::int32_t pos, int limit, std::vector<Match>& out) {
    const std::uint8_t* cur = data.data() + pos;
    const std::uint32_t h = hash3(t, cur);
    std::int32_t node = t.head[h];
    t.head[h] = pos;
    std::int32_t* smaller = &t.child[2 * (pos & t.slot_mask)];
    std::int32_t* larger = smaller + 1;
    int len_smaller = 0, len_larger = 0, best = kMinMatch - 1;
    for (int depth = kDepth; depth > 0 && node != kNone && pos - node <= kMaxDistance; --depth) {
        const std::uint8_t* m = data.data() + node;
        int len = std::min(len_smaller, len_larger);
        while (len < limit && m[len] == cur[len]) ++len;
        std::int32_t* pair = &t.child[2 * (node & t.slot_mask)];
        if (len > best) {
            best = len;
            out.push_back({static_cast<std::uint16_t>(len), static_cast<std::uint16_t>(pos - node)});
            if (len == limit) {  // the old node is replaced: its subtrees become ours
                *smaller = pair[0];
                *larger = pair[1];
                return;
            }
        }
        if (len < limit && m[len] < cur[len]) {
            *smaller = node;
            smaller = pair + 1;
            node = *smaller;
            len_smaller = len;
        } else {
            *larger = node;
            larger = pair;
            node = *larger;
            len_larger = len;
        }
    }
    *smaller = *larger = kNone;
}

// A match of the longest length at `at`: while the copy it starts would go
// on for the longest length again, the next positions are not searched (nor
// entered in the tree) and get that one match. Returns where the search goes on.
std::size_t follow_long_match(std::span<const std::uint8_t> data, std::size_t at, std::uint16_t distance,
                              MatchTable& table) {
    std::size_t extent = at + kMaxMatch;
    while (extent < data.size() && data[extent] == data[extent - distance]) ++extent;
    std::size_t i = at + 1;
    for (; i + kMaxMatch <= extent; ++i) {
        table.first[i] = static_cast<std::uint32_t>(table.matches.size());
        table.matches.push_back({static_cast<std::uint16_t>(kMaxMatch), distance});
    }
    return i;
}

}  // namespace

MatchTable find_matches(std::span<const std::uint8_t> data) {
    MatchTable table;
    const std::size_t n = data.size();
    table.first.assign(n + 1, 0);
    table.matches.reserve(n);
    Tree tree = make_tree(n);
    std::size_t i = 0;
    while (i < n) {
        table.first[i] = static_cast<std::uint32_t>(table.matches.size());
        const int limit = static_cast<int>(std::min<std::size_t>(kMaxMatch, n - i));
        if (limit < kMinMatch) {
            ++i;
            continue;
        }
        insert(tree, data, static_cast<std::int32_t>(i), limit, table.matches);
        const std::size_t end = table.matches.size();
        ++i;
        if (end != table.first[i - 1] && table.matches[end - 1].length == kMaxMatch)
            i = follow_long_match(data, i - 1, table.matches[end - 1].distance, table);
    }
    table.first[n] = static_cast<std::uint32_t>(table.matches.size());
    return table;
}

}  // namespace best
