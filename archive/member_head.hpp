// A member's header as it stands in the bytes that hold it (an image from
// any position, a work archive, a user's member file): where the image's
// operations read its fields, and where a copy of it is edited (TypeId,
// alignment) and re-summed. The layout, and the whole-header reader the
// expansion uses, are member_header.hpp's.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "archive/member_header.hpp"

// A whole header is H + 2 bytes at most, H being one byte.
inline constexpr std::size_t kLongestHeader = 255 + 2;
// A packed size of all 0xFF bytes: erased flash, no member.
inline constexpr std::uint32_t kErasedSize = 0xFFFFFFFF;
// Behind its data every member keeps the end byte of its work archive.
inline constexpr std::uint64_t kMemberEndByte = 1;

// The first 257 bytes at a member's position; those past the holder's end
// read 0xFF, as erased flash does, so a position past the end reads as
// erased space.
struct MemberHead {
    std::array<std::uint8_t, kLongestHeader> bytes{};
    std::size_t in_holder = 0;  // how many came from the holder
};

MemberHead read_member_head(std::span<const std::uint8_t> holder, std::uint64_t position);

bool holds_member(const MemberHead& head);  // bytes 2 to 4 are "-lh" (exact bytes)
bool is_erased(const MemberHead& head);     // the packed size reads 0xFFFFFFFF
std::uint8_t header_size(const MemberHead& head);
std::uint32_t packed_size(const MemberHead& head);
std::uint32_t original_size(const MemberHead& head);
std::uint16_t type_segment(const MemberHead& head);
std::uint16_t type_offset(const MemberHead& head);
std::uint8_t recorded_sum(const MemberHead& head);
std::string_view method_text(const MemberHead& head);  // the five bytes from 2
char method_char(const MemberHead& head);              // the "5" or "0" of "-lh5-"
bool is_stored(const MemberHead& head);                // "-lh0-"

// The bytes the member takes with its end byte, H + P + 3, without 32-bit wrap.
std::uint64_t member_span(const MemberHead& head);

// The holder has the header's fixed fields, up to its name length byte.
bool has_fixed_fields(const MemberHead& head);

// A header the writer could have made: "-lh" at 2, H at least 25 (the
// fixed fields and the CRC around an empty name), and all its H + 2 bytes
// in the holder.
bool is_whole_header(const MemberHead& head);

// The header's bytes as far as the holder has them: H + 2 at most.
std::span<const std::uint8_t> header_in_holder(const MemberHead& head);

// The stored name as a listing shows it: N bytes from 22, never past H + 2
// or the holder's end, and ending at a 0 byte.
std::string_view listed_name(const MemberHead& head);

// Edits of a copy, each leaving the header sum to resum_header.
void set_type_segment(MemberHead& head, std::uint16_t segment);
// The 32-bit value written over type_offset and type_segment (an ISA ROM's address).
void set_type_words(MemberHead& head, std::uint32_t words);
// Lengthens the header by `pad` bytes, so that the data starts `pad` bytes
// later: the name takes them (the byte behind the old name becomes 0, the
// new bytes 0xFF), and H, the name length and the packed size grow by `pad`.
// False, and nothing changed, when H would pass 255.
[[nodiscard]] bool lengthen_header(MemberHead& head, std::uint8_t pad);
// Makes the header sum match the H bytes from 2.
void resum_header(MemberHead& head);
