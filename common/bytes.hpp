// Little-endian reads and writes on byte buffers. The checked forms return
// nothing (or false) instead of touching a byte outside the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace bytes {

inline std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Bounds-checked reads: nothing when [at, at + width) is not inside `buf`.
inline std::optional<std::uint16_t> get16(std::span<const std::uint8_t> buf, std::size_t at) {
    if (at > buf.size() || buf.size() - at < 2) return std::nullopt;
    return le16(buf.data() + at);
}

inline std::optional<std::uint32_t> get32(std::span<const std::uint8_t> buf, std::size_t at) {
    if (at > buf.size() || buf.size() - at < 4) return std::nullopt;
    return le32(buf.data() + at);
}

// True when `text` stands at `at` inside `buf`, byte for byte.
inline bool has_text(std::span<const std::uint8_t> buf, std::size_t at, std::string_view text) {
    if (at > buf.size() || buf.size() - at < text.size()) return false;
    return std::memcmp(buf.data() + at, text.data(), text.size()) == 0;
}

}  // namespace bytes
