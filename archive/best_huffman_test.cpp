// The near-optimal packer's code lengths: complete codes within the limit
// that cost no more bits than the best code a full search finds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "archive/best_huffman.hpp"

namespace {

using Counts = std::vector<std::uint32_t>;

// The fewest bits of a complete code of at most `limit` bits for freq[i..],
// with `room` of the code space left (in units of 2^-limit).
std::uint64_t cheapest(const Counts& freq, std::size_t i, int limit, std::uint32_t room) {
    if (i == freq.size()) return room == 0 ? 0 : UINT64_MAX;
    std::uint64_t best = UINT64_MAX;
    for (int l = 1; l <= limit; ++l) {
        const std::uint32_t share = 1u << (limit - l);
        const std::uint64_t rest = share > room ? UINT64_MAX : cheapest(freq, i + 1, limit, room - share);
        if (rest != UINT64_MAX) best = std::min(best, rest + std::uint64_t{freq[i]} * static_cast<unsigned>(l));
    }
    return best;
}

TEST(BestHuffman, LimitedCodesAreCompleteAndCheapest) {
    const std::pair<Counts, int> rows[] = {
        {{5, 9, 12, 13, 16, 45}, 5},      // the Huffman tree fits
        {{1, 1, 2, 3, 5, 8, 13, 21}, 3},  // Fibonacci counts, cut hard
        // where moving single codes down a level is not the cheapest cut
        {{64, 36, 24, 21, 19, 3, 2}, 4},
        {{57, 43, 24, 22, 7}, 3},
        {{1, 7, 19, 31, 34, 53, 63}, 4},
    };
    for (const auto& [freq, limit] : rows) {
        SCOPED_TRACE(::testing::PrintToString(freq));
        std::vector<std::uint8_t> lengths(freq.size());
        best::code_lengths(freq, lengths, limit);
        std::uint32_t space = 0;
        std::uint64_t bits = 0;
        for (std::size_t i = 0; i < freq.size(); ++i) {
            ASSERT_LE(lengths[i], limit);
            space += 1u << (16 - lengths[i]);
            bits += std::uint64_t{freq[i]} * lengths[i];
        }
        EXPECT_EQ(space, 1u << 16);
        EXPECT_EQ(bits, cheapest(freq, 0, limit, 1u << limit));
    }
}

}  // namespace
