// Packed members for tests.
#include "testkit/members.hpp"

#include "archive/crc16.hpp"
#include "archive/lh5_encoder.hpp"

namespace testkit {

MemberFields packed_member(std::uint16_t type_segment, std::uint16_t type_offset, std::string name,
                         std::span<const std::uint8_t> data, bool store) {
    MemberFields spec;
    spec.type_segment = type_segment;
    spec.type_offset = type_offset;
    spec.name = std::move(name);
    spec.original_size = static_cast<std::int64_t>(data.size());
    spec.data_crc = crc16::update(0, data);
    Lh5Stream stream;
    if (!store) stream = lh5_compress_buffer(data);
    if (store || stream.gave_up) {
        spec.method = "-lh0-";
        spec.data.assign(data.begin(), data.end());
    } else {
        spec.method = "-lh5-";
        spec.data = std::move(stream.data);
    }
    return spec;
}

}  // namespace testkit
