// Eight bytes at a time, in 16-bit lanes.
#include "common/byte_sums.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

EvenOddSums even_odd_sums(std::span<const std::uint8_t> data) {
    EvenOddSums sums;
    const std::size_t whole = data.size() / 8 * 8;
    std::size_t i = 0;
    while (i < whole) {
        // Four lanes per half: 256 words of 8 bytes cannot overflow them.
        std::uint64_t lanes_even = 0, lanes_odd = 0;
        for (const std::size_t stop = std::min(whole, i + 256 * 8); i < stop; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, data.data() + i, 8);
            if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
            lanes_even += w & 0x00FF00FF00FF00FFull;
            lanes_odd += (w >> 8) & 0x00FF00FF00FF00FFull;
        }
        for (int lane = 0; lane < 4; ++lane) {
            sums.even += (lanes_even >> (16 * lane)) & 0xFFFF;
            sums.odd += (lanes_odd >> (16 * lane)) & 0xFFFF;
        }
    }
    for (; i < data.size(); ++i) (i % 2 == 0 ? sums.even : sums.odd) += data[i];
    return sums;
}
