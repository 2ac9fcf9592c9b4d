// Reading, writing and summing member headers.
#include "archive/member_header.hpp"

#include <algorithm>

#include "common/bytes.hpp"
#include "common/fatal.hpp"
#include "common/hex.hpp"

TypeIdValue parse_type_id(std::string_view text) {
    TypeIdValue v;
    std::uint32_t acc = 0;
    for (char ch : text) {
        if (ch == ':') {
            v.segment = static_cast<std::uint16_t>(acc);
            acc = 0;
            continue;
        }
        // A character that is no hexadecimal digit shifts in a 0.
        const unsigned digit = static_cast<unsigned>(std::max(hex_digit(ch), 0));
        acc = (acc << 4) + digit;
    }
    v.offset = static_cast<std::uint16_t>(acc);
    return v;
}

bool known_method(std::string_view method) {
    if (method.size() != member::kMethodLength) return false;
    const char m = method[3];
    return method.substr(0, 3) == "-lh" && method[4] == '-' && (m == '0' || m == '4' || m == '5');
}

std::optional<std::uint16_t> recorded_crc(std::span<const std::uint8_t> header) {
    if (header.empty() || header[0] < member::kHeaderSizeExtra || header.size() < header[0] + 2u) return std::nullopt;
    const std::size_t h = header[0];
    const std::size_t n = header[member::kNameLengthAt];
    if (member::kNameAt + n > h - 3) return std::nullopt;  // the name reaches into the CRC's place
    for (std::size_t i = member::kNameAt; i < member::kNameAt + n; ++i)
        if (header[i] == 0) return std::nullopt;
    return static_cast<std::uint16_t>(header[h - 3] | header[h - 2] << 8);
}

std::optional<std::uint8_t> header_sum(std::span<const std::uint8_t> member) {
    if (member.empty()) return std::nullopt;
    std::size_t h = member[member::kHeaderSizeAt];
    if (member.size() < h + 2) return std::nullopt;
    unsigned sum = 0;
    for (std::size_t i = 2; i < h + 2; ++i) sum += member[i];
    return static_cast<std::uint8_t>(sum);
}

std::vector<std::uint8_t> header_bytes(const ComponentHeader& header) {
    const std::size_t n = header.name.size();
    if (n > member::kMaxNameLength) fatal("Name too long: " + header.name);
    std::vector<std::uint8_t> b(n + member::kFixedBytes, 0);
    b[member::kHeaderSizeAt] = static_cast<std::uint8_t>(n + member::kHeaderSizeExtra);
    for (std::size_t i = 0; i < member::kMethodLength; ++i)
        b[member::kMethodAt + i] = static_cast<std::uint8_t>(header.method[i]);
    bytes::put32(&b[member::kPackedSizeAt], header.packed_size);
    bytes::put32(&b[member::kOriginalSizeAt], header.original_size);
    bytes::put16(&b[member::kTypeOffsetAt], header.type_offset);
    bytes::put16(&b[member::kTypeSegmentAt], header.type_segment);
    b[member::kAttributeAt] = member::kAttribute;
    b[member::kHeaderLevelAt] = member::kHeaderLevel;
    b[member::kNameLengthAt] = static_cast<std::uint8_t>(n);
    for (std::size_t i = 0; i < n; ++i)
        b[member::kNameAt + i] = static_cast<std::uint8_t>(header.name[i]);
    bytes::put16(&b[member::kNameAt + n], header.data_crc);
    b[member::kNameAt + n + 2] = member::kOsId;
    // next_ext_size stays 0: no extended header follows.
    b[member::kHeaderSumAt] = *header_sum(b);
    return b;
}

HeaderRead read_member_header(std::span<const std::uint8_t> bytes) {
    HeaderRead read;
    if (bytes.empty() || bytes[0] == 0) return read;
    read.status = HeaderRead::Status::Damaged;
    const std::size_t h = bytes[0];
    if (bytes.size() < h + 2) return read;
    const std::span<const std::uint8_t> raw = bytes.first(h + 2);
    if (*header_sum(raw) != raw[member::kHeaderSumAt]) return read;
    // The fields up to the name length byte, and the name, must lie inside H.
    if (h + 2 <= member::kNameLengthAt) return read;
    const std::size_t n = raw[member::kNameLengthAt];
    if (member::kNameAt + n > h + 2) return read;

    ComponentHeader& header = read.header;
    header.header_size = static_cast<std::uint8_t>(h);
    for (std::size_t i = 0; i < member::kMethodLength; ++i)
        header.method[i] = static_cast<char>(raw[member::kMethodAt + i]);
    header.packed_size = bytes::le32(&raw[member::kPackedSizeAt]);
    header.original_size = bytes::le32(&raw[member::kOriginalSizeAt]);
    header.type_offset = bytes::le16(&raw[member::kTypeOffsetAt]);
    header.type_segment = bytes::le16(&raw[member::kTypeSegmentAt]);
    header.data_crc = bytes::le16(&raw[h - 3]);
    header.name.assign(reinterpret_cast<const char*>(&raw[member::kNameAt]), n);
    read.status = HeaderRead::Status::Read;
    return read;
}
