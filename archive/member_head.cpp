// Reading and editing a member's header where it stands.
#include "archive/member_head.hpp"

#include <algorithm>
#include <cstring>

#include "common/bytes.hpp"

using namespace member;

MemberHead read_member_head(std::span<const std::uint8_t> holder, std::uint64_t position) {
    MemberHead head;
    head.bytes.fill(0xFF);
    if (position < holder.size()) {
        head.in_holder = static_cast<std::size_t>(std::min<std::uint64_t>(kLongestHeader, holder.size() - position));
        std::memcpy(head.bytes.data(), holder.data() + position, head.in_holder);
    }
    return head;
}

bool holds_member(const MemberHead& head) { return bytes::has_text(head.bytes, kMethodAt, "-lh"); }
bool is_erased(const MemberHead& head) { return packed_size(head) == kErasedSize; }
std::uint8_t header_size(const MemberHead& head) { return head.bytes[kHeaderSizeAt]; }
std::uint32_t packed_size(const MemberHead& head) { return bytes::le32(head.bytes.data() + kPackedSizeAt); }
std::uint32_t original_size(const MemberHead& head) { return bytes::le32(head.bytes.data() + kOriginalSizeAt); }
std::uint16_t type_segment(const MemberHead& head) { return bytes::le16(head.bytes.data() + kTypeSegmentAt); }
std::uint16_t type_offset(const MemberHead& head) { return bytes::le16(head.bytes.data() + kTypeOffsetAt); }
std::uint8_t recorded_sum(const MemberHead& head) { return head.bytes[kHeaderSumAt]; }

std::string_view method_text(const MemberHead& head) {
    return {reinterpret_cast<const char*>(head.bytes.data()) + kMethodAt, kMethodLength};
}

char method_char(const MemberHead& head) { return static_cast<char>(head.bytes[kMethodCharAt]); }

bool is_stored(const MemberHead& head) { return method_text(head) == "-lh0-"; }

std::uint64_t member_span(const MemberHead& head) {
    return std::uint64_t{header_size(head)} + 2 + packed_size(head) + kMemberEndByte;
}

bool has_fixed_fields(const MemberHead& head) { return head.in_holder > kNameLengthAt; }

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

void set_type_words(MemberHead& head, std::uint32_t words) { bytes::put32(head.bytes.data() + kTypeOffsetAt, words); }

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
