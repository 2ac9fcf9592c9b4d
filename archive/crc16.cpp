// The running CRC-16 over a buffer.
#include "archive/crc16.hpp"

namespace crc16 {

std::uint16_t update(std::uint16_t crc, std::span<const std::uint8_t> data) {
    unsigned c = crc;
    const std::uint8_t* p = data.data();
    std::size_t n = data.size();
    for (; n >= 8; n -= 8, p += 8) {
        c ^= static_cast<unsigned>(p[0] | (p[1] << 8));
        c = kSlices[7][c & 0xFF] ^ kSlices[6][c >> 8] ^ kSlices[5][p[2]] ^ kSlices[4][p[3]] ^
            kSlices[3][p[4]] ^ kSlices[2][p[5]] ^ kSlices[1][p[6]] ^ kSlices[0][p[7]];
    }
    for (; n > 0; --n, ++p) c = kTable[(c ^ *p) & 0xFF] ^ (c >> 8);
    return static_cast<std::uint16_t>(c);
}

}  // namespace crc16
