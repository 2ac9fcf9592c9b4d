// The member header in front of every stored component (an LZH level-1
// header whose timestamp field carries the component's TypeId), its byte
// layout, checksum and reader/writer.
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

struct ComponentHeader {
    std::array<char, 5> method{'-', 'l', 'h', '5', '-'};
    std::uint32_t packed_size = 0;
    std::uint32_t original_size = 0;
    std::uint16_t type_offset = 0;
    std::uint16_t type_segment = 0;
    std::uint16_t data_crc = 0;
    std::string name;
    std::uint8_t header_size = 0;  // H as read; the writer uses N + 25
};

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

// The N + 27 header bytes of `header` in the writer's shape, checksum
// included. Requires a name of at most 230 bytes (fatal otherwise).
std::vector<std::uint8_t> header_bytes(const ComponentHeader& header);

// What reading a header found.
struct HeaderRead {
    enum class Status {
        Read,      // `header` holds it; the data begins at H + 2
        NoMember,  // nothing, or a header size byte of 0
        Damaged,   // the checksum does not match, the header is cut short, or the name does not fit inside H
    } status = Status::NoMember;
    ComponentHeader header;
};

// Reads the header at the start of `bytes`.
HeaderRead read_member_header(std::span<const std::uint8_t> bytes);
