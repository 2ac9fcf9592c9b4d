// Huffman lengths by the two-queue method over the sorted counts; where
// that tree is deeper than the limit, package-merge instead: the fewest
// bits any prefix code of at most `limit` bits gives, so a block coded
// under a shorter limit (for smaller tables) loses as little as it can.
#include "archive/best_huffman.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

namespace best {
namespace {

constexpr int kLimit = 16;
constexpr std::size_t kMaxSymbols = 512;

// Depth of every leaf of the Huffman tree over `n` counts sorted ascending
// (two queues: the leaves in order, the inner nodes as they are made).
void leaf_depths(const std::uint64_t* sorted, std::size_t n, int* depth) {
    std::array<std::uint64_t, 2 * kMaxSymbols> weight;
    std::array<std::uint16_t, 2 * kMaxSymbols> parent;
    std::array<int, 2 * kMaxSymbols> d;
    for (std::size_t i = 0; i < n; ++i) weight[i] = sorted[i] >> 16;
    std::size_t leaf = 0, inner = n, next = n;
    const auto take = [&]() {
        if (leaf < n && (inner == next || weight[leaf] <= weight[inner])) return leaf++;
        return inner++;
    };
    while (next < 2 * n - 1) {
        const std::size_t a = take();
        const std::size_t b = take();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<std::uint16_t>(next++);
    }
    d[2 * n - 2] = 0;
    for (std::size_t i = 2 * n - 2; i-- > 0;) d[i] = d[parent[i]] + 1;
    for (std::size_t i = 0; i < n; ++i) depth[i] = d[i];
}

// One list of package-merge: items by rising weight, each a leaf (the next
// rarest symbol not yet in the list) or a package of two items of the list
// below.
struct Level {
    std::vector<std::uint64_t> weight;
    std::vector<bool> leaf;
};

// The leaves merged with the packages of `below`'s items in pairs, the
// first `keep` items of it.
Level merge_level(const std::uint64_t* sorted, std::size_t n, const Level& below, std::size_t keep) {
    Level out;
    std::size_t l = 0, p = 0;
    const std::size_t packages = below.weight.size() / 2;
    while (out.weight.size() < keep && (l < n || p < packages)) {
        const std::uint64_t pw = p < packages ? below.weight[2 * p] + below.weight[2 * p + 1] : UINT64_MAX;
        if (l < n && (sorted[l] >> 16) <= pw) {
            out.weight.push_back(sorted[l++] >> 16);
            out.leaf.push_back(true);
        } else {
            out.weight.push_back(pw);
            out.leaf.push_back(false);
            ++p;
        }
    }
    return out;
}

// Depths of at most `limit` for the `n` sorted counts, by package-merge.
void limited_depths(const std::uint64_t* sorted, std::size_t n, int limit, int* depth) {
    // levels[0] is the deepest list (the leaves alone), levels[limit - 1]
    // the top one, whose first 2n - 2 items make the code.
    const std::size_t keep = 2 * n - 2;
    std::vector<Level> levels(static_cast<std::size_t>(limit));
    for (std::size_t i = 0; i < n; ++i) {
        levels[0].weight.push_back(sorted[i] >> 16);
        levels[0].leaf.push_back(true);
    }
    for (std::size_t d = 1; d < levels.size(); ++d) levels[d] = merge_level(sorted, n, levels[d - 1], keep);

    // Each leaf chosen in a level adds one bit to its symbol's length: in a
    // level the chosen leaves are its rarest, and its chosen packages
    // choose twice as many items from the level below.
    std::fill(depth, depth + n, 0);
    std::size_t take = keep;
    for (std::size_t d = levels.size(); d-- > 0;) {
        const Level& level = levels[d];
        std::size_t leaves = 0;
        take = std::min(take, level.weight.size());
        for (std::size_t i = 0; i < take; ++i) leaves += level.leaf[i];
        for (std::size_t i = 0; i < leaves; ++i) ++depth[i];
        take = 2 * (take - leaves);
    }
}

}  // namespace

void code_lengths(std::span<const std::uint32_t> freq, std::span<std::uint8_t> lengths, int limit) {
    std::fill(lengths.begin(), lengths.end(), 0);
    // Count and symbol in one key: sorted by count, then by symbol.
    std::array<std::uint64_t, kMaxSymbols> key;
    std::size_t n = 0;
    for (std::size_t i = 0; i < freq.size(); ++i)
        if (freq[i] != 0) key[n++] = (std::uint64_t{freq[i]} << 16) | i;
    if (n < 2) return;
    std::sort(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(n));
    limit = std::clamp(limit, static_cast<int>(std::bit_width(n - 1)), kLimit);  // room for n codes
    std::array<int, kMaxSymbols> depth;
    leaf_depths(key.data(), n, depth.data());
    if (*std::max_element(depth.begin(), depth.begin() + static_cast<std::ptrdiff_t>(n)) > limit)
        limited_depths(key.data(), n, limit, depth.data());
    for (std::size_t i = 0; i < n; ++i) lengths[key[i] & 0xFFFF] = static_cast<std::uint8_t>(depth[i]);
}

void canonical_codes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes) {
    std::array<int, kLimit + 1> count{};
    for (std::uint8_t l : lengths) ++count[l];
    std::array<std::uint32_t, kLimit + 2> start{};
    for (int d = 1; d <= kLimit; ++d) start[d + 1] = (start[d] + static_cast<std::uint32_t>(count[d])) << 1;
    for (std::size_t i = 0; i < lengths.size(); ++i)
        codes[i] = lengths[i] ? static_cast<std::uint16_t>(start[lengths[i]]++) : 0;
}

}  // namespace best
