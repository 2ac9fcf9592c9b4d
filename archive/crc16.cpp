// The running CRC-16 over a buffer, sixteen bytes at a time.
#include "archive/crc16.hpp"

#include <bit>
#include <cstring>

namespace crc16 {

namespace {

// Eight bytes as a little-endian number: one load, where the machine is
// little-endian.
inline std::uint64_t load_le64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

// The lookup of byte `at` of `word` in the table for `zeros` zero bytes after it.
inline unsigned slice(std::uint64_t word, int at, int zeros) {
    return kSlices[zeros][(word >> (8 * at)) & 0xFF];
}

}  // namespace

std::uint16_t update(std::uint16_t crc, std::span<const std::uint8_t> data) {
    std::uint64_t c = crc;
    const std::uint8_t* p = data.data();
    std::size_t n = data.size();
    for (; n >= kSliceBytes; n -= kSliceBytes, p += kSliceBytes) {
        // Fourteen lookups that do not depend on the CRC so far, XORed as a
        // tree, and the two that do (its bytes go into the first two).
        const std::uint64_t a = load_le64(p);
        const std::uint64_t b = load_le64(p + 8);
        const unsigned rest = ((slice(a, 2, 13) ^ slice(a, 3, 12)) ^ (slice(a, 4, 11) ^ slice(a, 5, 10))) ^
                              ((slice(a, 6, 9) ^ slice(a, 7, 8)) ^ (slice(b, 0, 7) ^ slice(b, 1, 6))) ^
                              ((slice(b, 2, 5) ^ slice(b, 3, 4)) ^ (slice(b, 4, 3) ^ slice(b, 5, 2))) ^
                              (slice(b, 6, 1) ^ slice(b, 7, 0));
        const std::uint64_t head = a ^ c;
        c = rest ^ slice(head, 0, 15) ^ slice(head, 1, 14);
    }
    for (; n > 0; --n, ++p) c = kTable[(c ^ *p) & 0xFF] ^ (c >> 8);
    return static_cast<std::uint16_t>(c);
}

}  // namespace crc16
