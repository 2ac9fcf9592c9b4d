// Member names bounded by their header.
#include "image/member_name.hpp"

#include <algorithm>

std::string_view listed_member_name(std::span<const std::uint8_t> header) {
    if (header.empty()) return {};
    std::size_t end = std::min<std::size_t>(std::size_t{header[0]} + 2, header.size());
    if (end <= kNameAt) return {};
    std::size_t n = std::min<std::size_t>(header[kNameLengthAt], end - kNameAt);
    const char* first = reinterpret_cast<const char*>(header.data() + kNameAt);
    return std::string_view(first, static_cast<std::size_t>(std::find(first, first + n, '\0') - first));
}
