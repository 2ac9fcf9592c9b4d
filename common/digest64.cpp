// Eight bytes a step, as a little-endian number, multiplied and rotated in.
#include "common/digest64.hpp"

#include <bit>
#include <cstring>

std::uint64_t digest64(std::span<const std::uint8_t> data) {
    constexpr std::uint64_t k1 = 0x9E3779B97F4A7C15u, k2 = 0xC2B2AE3D27D4EB4Fu;
    std::uint64_t h = k2 ^ (data.size() * k1);
    std::size_t at = 0;
    for (; at + 8 <= data.size(); at += 8) {
        std::uint64_t word;  // the eight bytes as a little-endian number
        std::memcpy(&word, data.data() + at, 8);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        h ^= word;
        h = ((h << 31) | (h >> 33)) * k1;
    }
    for (; at < data.size(); ++at) h = (h ^ data[at]) * k2;
    h ^= h >> 33;
    h *= k2;
    h ^= h >> 29;
    return h;
}
