// The member header in front of every stored component (an LZH level-1
// header whose timestamp field carries the component's TypeId): its byte
// layout, the one model of it (MemberHead: the header's bytes as they stand,
// read by accessors, and edited in a copy), its checks, its sum and CRC
// rules, and the header a pack writes.
//
// Offsets from the member's first byte; N is the name length, H the header
// size byte; all multi-byte fields little-endian:
//   0  1  header_size H   bytes 2..H+1 follow the checksum; 0 ends a chain
//   1  1  header_sum      sum of bytes 2..H+1 modulo 256
//   2  5  method          "-lh5-" compressed, "-lh0-" stored
//   7  4  packed_size     data bytes after the header
//   11 4  original_size   component size before compression
//   15 2  type_offset     TypeId offset (after the colon)
//   17 2  type_segment    TypeId segment (before the colon)
//   19 1  attribute       0x20
//   20 1  header_level    0x01
//   21 1  name_length N
//   22 N  name
//   22+N 2 data_crc       CRC-16 of the original bytes (read from H-3)
//   24+N 1 os_id          0x20
//   25+N 2 next_ext_size  0
// The writer sets H = N + 25, so a member takes 27 + N + packed_size bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace member {
// The largest original size of a member the tool makes, checks or
// expands: sixteen times the largest image (1 MB), far above any real
// component (a system BIOS expands to about twice its image), and the
// bound on what an add reads, /verify checks and /unpack writes. A header
// that claims more is damaged or hostile.
inline constexpr std::size_t kMaxMemberSize = 16u << 20;

inline constexpr std::size_t kHeaderSizeAt = 0;
inline constexpr std::size_t kHeaderSumAt = 1;
inline constexpr std::size_t kMethodAt = 2;
inline constexpr std::size_t kMethodLength = 5;
inline constexpr std::size_t kMethodCharAt = 5;  // the "5" or "0" of "-lh5-"
inline constexpr std::size_t kPackedSizeAt = 7;
inline constexpr std::size_t kOriginalSizeAt = 11;
inline constexpr std::size_t kTypeOffsetAt = 15;
inline constexpr std::size_t kTypeSegmentAt = 17;
inline constexpr std::size_t kAttributeAt = 19;
inline constexpr std::size_t kHeaderLevelAt = 20;
inline constexpr std::size_t kNameLengthAt = 21;
inline constexpr std::size_t kNameAt = 22;
// Bytes of a written header besides the name (H = N + 25, plus 2 in front).
inline constexpr std::size_t kFixedBytes = 27;
inline constexpr std::size_t kHeaderSizeExtra = 25;
// Longest name that keeps H within one byte.
inline constexpr std::size_t kMaxNameLength = 230;
inline constexpr std::uint8_t kAttribute = 0x20;
inline constexpr std::uint8_t kHeaderLevel = 0x01;
inline constexpr std::uint8_t kOsId = 0x20;
}  // namespace member

struct TypeIdValue {
    std::uint16_t segment = 0;
    std::uint16_t offset = 0;
};

// The segment and offset of a TypeId text such as "4080:0". Hex digits in
// either case; any other character shifts in a 0; a text without a colon is
// all offset; with several colons the value between the last two is the
// segment. Only the low 16 bits of each half are kept.
TypeIdValue parse_type_id(std::string_view text);

// True for the methods the expansion knows: "-lh0-" (stored), "-lh4-" and
// "-lh5-" (LH5). `method` is the five bytes at offset 2.
bool known_method(std::string_view method);

// The data CRC a header records (at H - 3), or nothing when it records
// none: a header grown for alignment carries its CRC bytes inside its name,
// which then holds a 0 byte. `header` is the member's first bytes, its whole
// header at least (nothing otherwise).
std::optional<std::uint16_t> recorded_crc(std::span<const std::uint8_t> header);

// Sum of the H bytes from offset 2 of `member` (H from its first byte),
// modulo 256; nothing when the buffer is shorter than the header.
std::optional<std::uint8_t> header_sum(std::span<const std::uint8_t> member);

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

// What the check of a header at the start of some bytes found.
enum class HeaderStatus {
    Read,      // a whole header: the data begins at H + 2
    NoMember,  // nothing, or a header size byte of 0
    Damaged,   // the sum does not match, the header is cut short, or the name does not fit inside H
};

struct HeaderRead {
    HeaderStatus status = HeaderStatus::NoMember;
    MemberHead head;
};

// Reads the header at the start of `bytes` (read_member_head) and checks it.
HeaderRead read_member_header(std::span<const std::uint8_t> bytes);

// What a pack writes into a header: the method's character ('5' or '0'),
// the sizes, the TypeId, the CRC-16 of the original bytes and the name.
struct HeaderFields {
    char method = '5';
    std::uint32_t packed_size = 0;
    std::uint32_t original_size = 0;
    TypeIdValue type;
    std::uint16_t data_crc = 0;
    std::string_view name;
};

// The N + 27 header bytes in the writer's shape (H = N + 25), sum included.
// Requires a name of at most 230 bytes (fatal otherwise).
std::vector<std::uint8_t> header_bytes(const HeaderFields& fields);
