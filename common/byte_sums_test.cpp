// The even and odd sums against a count byte by byte, over lengths around
// the eight-byte words and the lanes' 256-word stretches, with bytes that
// fill the lanes to the top; a span from an odd index trades the halves.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/byte_sums.hpp"

TEST(ByteSums, EvenAndOddAsCountedOneByOne) {
    std::mt19937 random(3);
    for (const bool all_ff : {false, true})
        for (const std::size_t n : {0u, 1u, 7u, 9u, 2047u, 2048u, 2049u, 4097u, 131075u}) {
            std::vector<std::uint8_t> data(n, 0xFF);
            for (std::uint8_t& b : data) b = all_ff ? b : static_cast<std::uint8_t>(random());
            std::uint64_t sums[2] = {0, 0};
            for (std::size_t i = 0; i < n; ++i) sums[i % 2] += data[i];
            const EvenOddSums s = even_odd_sums(data), from_one = even_odd_sums(std::span(data).subspan(n > 0));
            EXPECT_EQ(s.even, sums[0]) << n << " bytes, all 0xFF " << all_ff;
            EXPECT_EQ(s.odd, sums[1]) << n << " bytes, all 0xFF " << all_ff;
            EXPECT_EQ(from_one.even, sums[1]) << n << " bytes from index 1";
            EXPECT_EQ(from_one.odd, sums[0] - (n > 0 ? data[0] : 0)) << n << " bytes from index 1";
        }
}
