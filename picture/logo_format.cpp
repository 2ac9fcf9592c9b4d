// Bit planes of a 16-colour LogoImage row.
#include "picture/logo_format.hpp"

#include <algorithm>

namespace logo_format {

void pack_planes(std::span<const std::uint8_t> indices, std::span<std::uint8_t> row) {
    std::fill(row.begin(), row.end(), std::uint8_t{0});
    const std::size_t plane_bytes = row.size() / 4;
    for (std::size_t x = 0; x < indices.size(); ++x) {
        const std::size_t at = x / 8;
        if (at >= plane_bytes) break;
        const auto bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
        for (std::size_t p = 0; p < 4; ++p)
            if (indices[x] & (1u << p)) row[p * plane_bytes + at] |= bit;
    }
}

void unpack_planes(std::span<const std::uint8_t> row, std::span<std::uint8_t> indices) {
    const std::size_t plane_bytes = row.size() / 4;
    for (std::size_t x = 0; x < indices.size(); ++x) {
        const std::size_t at = x / 8;
        std::uint8_t index = 0;
        if (at < plane_bytes) {
            const auto bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
            for (std::size_t p = 0; p < 4; ++p)
                if (row[p * plane_bytes + at] & bit) index |= static_cast<std::uint8_t>(1u << p);
        }
        indices[x] = index;
    }
}

}  // namespace logo_format
