// Member headers: read where they stand, checked, summed, edited and written.
#include "archive/member_header.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/bytes.hpp"
#include "common/fatal.hpp"
#include "common/hex.hpp"

using namespace member;

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

MemberHead read_member_head(std::span<const std::uint8_t> holder, std::uint64_t position) {
    MemberHead head;
    head.bytes.fill(0xFF);
    if (position < holder.size()) {
        head.in_holder = static_cast<std::size_t>(std::min<std::uint64_t>(kLongestHeader, holder.size() - position));
        std::memcpy(head.bytes.data(), holder.data() + position, head.in_holder);
    }
    return head;
}

bool holds_member(const MemberHead& head) {
    return bytes::has_text(head.bytes, kMethodAt, "-lh");
}
bool is_erased(const MemberHead& head) {
    return packed_size(head) == kErasedSize;
}
std::uint8_t header_size(const MemberHead& head) {
    return head.bytes[kHeaderSizeAt];
}
std::uint32_t packed_size(const MemberHead& head) {
    return bytes::le32(head.bytes.data() + kPackedSizeAt);
}
std::uint32_t original_size(const MemberHead& head) {
    return bytes::le32(head.bytes.data() + kOriginalSizeAt);
}
std::uint16_t type_segment(const MemberHead& head) {
    return bytes::le16(head.bytes.data() + kTypeSegmentAt);
}
std::uint16_t type_offset(const MemberHead& head) {
    return bytes::le16(head.bytes.data() + kTypeOffsetAt);
}
std::uint8_t recorded_sum(const MemberHead& head) {
    return head.bytes[kHeaderSumAt];
}

std::string_view method_text(const MemberHead& head) {
    return {reinterpret_cast<const char*>(head.bytes.data()) + kMethodAt, kMethodLength};
}

char method_char(const MemberHead& head) {
    return static_cast<char>(head.bytes[kMethodCharAt]);
}

bool is_stored(const MemberHead& head) {
    return method_text(head) == "-lh0-";
}

std::uint64_t member_span(const MemberHead& head) {
    return std::uint64_t{header_size(head)} + 2 + packed_size(head) + kMemberEndByte;
}

bool has_fixed_fields(const MemberHead& head) {
    return head.in_holder > kNameLengthAt;
}

bool is_whole_header(const MemberHead& head) {
    return head.in_holder >= kFixedBytes && holds_member(head) && header_size(head) >= kHeaderSizeExtra &&
           std::size_t{header_size(head)} + 2 <= head.in_holder;
}

std::span<const std::uint8_t> header_in_holder(const MemberHead& head) {
    return std::span(head.bytes).first(std::min<std::size_t>(std::size_t{header_size(head)} + 2, head.in_holder));
}

std::string_view listed_name(const MemberHead& head) {
    const std::size_t end = header_in_holder(head).size();
    if (end <= kNameAt) return {};
    const std::size_t n = std::min<std::size_t>(head.bytes[kNameLengthAt], end - kNameAt);
    const char* first = reinterpret_cast<const char*>(head.bytes.data() + kNameAt);
    return {first, static_cast<std::size_t>(std::find(first, first + n, '\0') - first)};
}

void set_type_segment(MemberHead& head, std::uint16_t segment) {
    bytes::put16(head.bytes.data() + kTypeSegmentAt, segment);
}

void set_type_words(MemberHead& head, std::uint32_t words) {
    bytes::put32(head.bytes.data() + kTypeOffsetAt, words);
}

bool lengthen_header(MemberHead& head, std::uint8_t pad) {
    const std::size_t h = header_size(head);
    if (h + pad > 255) return false;
    const std::uint8_t n = head.bytes[kNameLengthAt];
    if (kNameAt + n < h + 2) head.bytes[kNameAt + n] = 0;
    std::fill(head.bytes.begin() + static_cast<std::ptrdiff_t>(h + 2),
              head.bytes.begin() + static_cast<std::ptrdiff_t>(h + 2 + pad), std::uint8_t{0xFF});
    head.bytes[kHeaderSizeAt] = static_cast<std::uint8_t>(h + pad);
    head.bytes[kNameLengthAt] = static_cast<std::uint8_t>(n + pad);
    bytes::put32(head.bytes.data() + kPackedSizeAt, packed_size(head) + pad);
    head.in_holder = std::max(head.in_holder, h + 2 + pad);
    return true;
}

void resum_header(MemberHead& head) {
    head.bytes[kHeaderSumAt] = header_sum(std::span(head.bytes).first(std::size_t{header_size(head)} + 2)).value_or(0);
}

HeaderRead read_member_header(std::span<const std::uint8_t> bytes) {
    HeaderRead read{HeaderStatus::NoMember, read_member_head(bytes, 0)};
    if (bytes.empty() || bytes[0] == 0) return read;
    read.status = HeaderStatus::Damaged;
    const std::size_t h = header_size(read.head);
    if (read.head.in_holder < h + 2) return read;
    if (*header_sum(header_in_holder(read.head)) != recorded_sum(read.head)) return read;
    // The fields up to the name length byte, and the name, must lie inside H.
    if (h + 2 <= kNameLengthAt || kNameAt + read.head.bytes[kNameLengthAt] > h + 2) return read;
    read.status = HeaderStatus::Read;
    return read;
}

std::vector<std::uint8_t> header_bytes(const HeaderFields& fields) {
    const std::size_t n = fields.name.size();
    if (n > kMaxNameLength) fatal("Name too long: " + std::string(fields.name));
    std::vector<std::uint8_t> b(n + kFixedBytes, 0);
    b[kHeaderSizeAt] = static_cast<std::uint8_t>(n + kHeaderSizeExtra);
    std::copy_n("-lh5-", kMethodLength, b.begin() + kMethodAt);
    b[kMethodCharAt] = static_cast<std::uint8_t>(fields.method);
    bytes::put32(&b[kPackedSizeAt], fields.packed_size);
    bytes::put32(&b[kOriginalSizeAt], fields.original_size);
    bytes::put16(&b[kTypeOffsetAt], fields.type.offset);
    bytes::put16(&b[kTypeSegmentAt], fields.type.segment);
    b[kAttributeAt] = kAttribute;
    b[kHeaderLevelAt] = kHeaderLevel;
    b[kNameLengthAt] = static_cast<std::uint8_t>(n);
    std::copy(fields.name.begin(), fields.name.end(), b.begin() + kNameAt);
    bytes::put16(&b[kNameAt + n], fields.data_crc);
    b[kNameAt + n + 2] = kOsId;
    // next_ext_size stays 0: no extended header follows.
    b[kHeaderSumAt] = *header_sum(b);
    return b;
}
