// Packed members for tests.
#include "testkit/members.hpp"

#include "archive/crc16.hpp"
#include "archive/lh5_encoder.hpp"

namespace testkit {

MemberFields packed_member(std::uint16_t type_segment, std::uint16_t type_offset, std::string name,
                           std::span<const std::uint8_t> data, bool store) {
    MemberFields fields;
    fields.type_segment = type_segment;
    fields.type_offset = type_offset;
    fields.name = std::move(name);
    fields.original_size = static_cast<std::int64_t>(data.size());
    fields.data_crc = crc16::update(0, data);
    Lh5Stream stream;
    if (!store) stream = lh5_compress_buffer(data);
    if (store || stream.gave_up) {
        fields.method = "-lh0-";
        fields.data.assign(data.begin(), data.end());
    } else {
        fields.method = "-lh5-";
        fields.data = std::move(stream.data);
    }
    return fields;
}

}  // namespace testkit
