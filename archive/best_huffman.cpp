// Huffman lengths by the two-queue method over the sorted counts, then the
// depth counts limited to 16 bits and handed out rarest first.
#include "archive/best_huffman.hpp"

#include <algorithm>
#include <array>

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
    std::array<int, kMaxSymbols> depth;
    leaf_depths(key.data(), n, depth.data());

    // Count the leaves by depth, deeper ones as 16; then, while the code is
    // over-full, drop one 16-bit code and move one shorter code down a level.
    std::array<int, kLimit + 1> count{};
    for (std::size_t i = 0; i < n; ++i) ++count[std::min(depth[i], limit)];
    std::uint32_t sum = 0;
    for (int d = 1; d <= limit; ++d) sum += static_cast<std::uint32_t>(count[d]) << (limit - d);
    while (sum > (1u << limit)) {
        --count[limit];
        for (int d = limit - 1; d > 0; --d) {
            if (count[d] != 0) {
                --count[d];
                count[d + 1] += 2;
                break;
            }
        }
        --sum;
    }
    std::size_t at = 0;
    for (int d = limit; d > 0; --d)
        for (int c = count[d]; c > 0; --c) lengths[key[at++] & 0xFFFF] = static_cast<std::uint8_t>(d);
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
