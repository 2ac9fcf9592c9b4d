// The running CRC-16 over a buffer.
#include "archive/crc16.hpp"

namespace crc16 {

std::uint16_t update(std::uint16_t crc, std::span<const std::uint8_t> data) {
    unsigned c = crc;
    for (std::uint8_t b : data) c = kTable[(c ^ b) & 0xFF] ^ (c >> 8);
    return static_cast<std::uint16_t>(c);
}

}  // namespace crc16
