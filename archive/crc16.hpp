// The CRC-16 of member data: reflected polynomial 0xA001 (polynomial 0x8005
// taken least significant bit first), initial value 0, no final inversion.
// The CRC of the ASCII bytes "123456789" is 0xBB3D.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace crc16 {

// Entry i: i shifted right eight times, XORed with 0xA001 after each shift
// that dropped a 1 bit.
constexpr std::array<std::uint16_t, 256> make_table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
        table[i] = static_cast<std::uint16_t>(c);
    }
    return table;
}

inline constexpr std::array<std::uint16_t, 256> kTable = make_table();

// Tables for sixteen bytes at a time ("slicing"): kSlices[k][i] is the CRC
// of byte i followed by k zero bytes. The CRC of 16 bytes is then the XOR of
// one lookup per byte, none of which waits for another; the result is the
// same as one byte at a time.
inline constexpr int kSliceBytes = 16;

constexpr std::array<std::array<std::uint16_t, 256>, kSliceBytes> make_slices() {
    std::array<std::array<std::uint16_t, 256>, kSliceBytes> t{};
    t[0] = make_table();
    for (int k = 1; k < kSliceBytes; ++k)
        for (int i = 0; i < 256; ++i)
            t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}

inline constexpr std::array<std::array<std::uint16_t, 256>, kSliceBytes> kSlices = make_slices();

// The running CRC `crc` carried over `data`.
std::uint16_t update(std::uint16_t crc, std::span<const std::uint8_t> data);

}  // namespace crc16
