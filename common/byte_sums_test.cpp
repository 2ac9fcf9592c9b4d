// The even and odd sums against a byte-by-byte count: lengths around the
// eight-byte words and the lanes' 256-word stretches, and bytes that fill
// the lanes to the top.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/byte_sums.hpp"

namespace {

TEST(ByteSums, EvenAndOddAsCountedOneByOne) {
    std::mt19937 random(3);
    for (const bool all_ff : {false, true}) {
        for (const std::size_t n : {0u, 1u, 7u, 8u, 9u, 15u, 2047u, 2048u, 2049u, 2056u, 4097u, 131072u, 131075u}) {
            std::vector<std::uint8_t> data(n, 0xFF);
            if (!all_ff)
                for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(random());
            std::uint64_t even = 0, odd = 0;
            for (std::size_t i = 0; i < n; ++i) (i % 2 == 0 ? even : odd) += data[i];
            const EvenOddSums s = even_odd_sums(data);
            EXPECT_EQ(s.even, even) << n << " bytes, all 0xFF " << all_ff;
            EXPECT_EQ(s.odd, odd) << n << " bytes, all 0xFF " << all_ff;
            // A span starting at an odd index: its halves trade places.
            if (n > 1) {
                const EvenOddSums t = even_odd_sums(std::span(data).subspan(1));
                EXPECT_EQ(t.even, odd) << n;
                EXPECT_EQ(t.odd, even - data[0]) << n;
            }
        }
    }
}

}  // namespace
