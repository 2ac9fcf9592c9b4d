// Members packed the way the tool packs them, for placing compressed
// components in synthetic images and archives.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "testkit/image_builder.hpp"

namespace testkit {

// A member of `data` as the work-archive writer makes it: "-lh5-" with the
// LH5 stream, or "-lh0-" with the data itself when compression does not pay
// or `store` is set; original_size and data_crc from `data`. Turn it into
// bytes with member_bytes().
MemberFields packed_member(std::uint16_t type_segment, std::uint16_t type_offset, std::string name,
                           std::span<const std::uint8_t> data, bool store = false);

}  // namespace testkit
