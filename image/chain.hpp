// The chain of members inside an image: reading a member's header bytes at
// a position, stepping from one member to the next, and closing the gap a
// removed member leaves.
//
// Inside the image every member keeps the end byte of the work archive it
// was copied from, so a member with header size H (byte 0) and packed size P
// (bytes 7-10) occupies H + 2 header bytes, P data bytes and one more byte:
// H + P + 3 in all. Free space behind the chain is 0xFF, so a packed size of
// 0xFFFFFFFF marks its end.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/member_header.hpp"
#include "common/file.hpp"

// Header fields the walk reads, as offsets from the member's first byte
// (the member format's own layout).
using member::kHeaderSizeAt;    // H, 1 byte
using member::kMethodAt;        // "-lh5-" / "-lh0-"
using member::kPackedSizeAt;    // P, 32-bit
using member::kOriginalSizeAt;  // 32-bit
using member::kTypeOffsetAt;    // 16-bit
using member::kTypeSegmentAt;   // 16-bit
inline constexpr std::uint32_t kErasedSize = 0xFFFFFFFF;
// The archive's end byte every member keeps behind its data in the image.
inline constexpr std::uint64_t kMemberEndByte = 1;
// The listing and the add walk the chain up to this far below area_end.
inline constexpr std::uint32_t kWalkMargin = 0x40;

// The walk limit of the listing and the add: area_end - 0x40 (0 below that).
inline std::uint32_t walk_limit(std::uint32_t area_end) {
    return area_end > kWalkMargin ? area_end - kWalkMargin : 0;
}

// The first 64 bytes at a member position; always enough for H, method, P
// and the TypeId.
inline constexpr std::size_t kHeaderWindow = 64;
using HeaderBytes = std::array<std::uint8_t, kHeaderWindow>;

// The 64 bytes at `position`; bytes outside the file read 0xFF, so a
// position at or past the end of the file reads as erased space.
HeaderBytes read_header_bytes(File& file, std::uint64_t position);

// Bytes 2 to 4 are "-lh" (exact bytes).
bool holds_member(const HeaderBytes& header);
std::uint8_t header_size(const HeaderBytes& header);
std::uint32_t packed_size(const HeaderBytes& header);
std::uint16_t type_segment(const HeaderBytes& header);
std::uint16_t type_offset(const HeaderBytes& header);

// Bytes the member takes in the image, H + P + 3, without 32-bit wrap.
std::uint64_t member_span(const HeaderBytes& header);

// The position after the member at `position`: position + H + P + 3.
// Nothing when that runs past `file_size` (which also rules out 32-bit wrap).
std::optional<std::uint32_t> next_member_position(std::uint32_t position, const HeaderBytes& header,
                                                  std::uint32_t file_size);

// How a walk ended.
enum class ChainEnd {
    Erased,    // a packed size of 0xFFFFFFFF (erased space, also past the end of the file)
    NoMember,  // bytes 2 to 4 are not "-lh"
    Limit,     // the next position was not below the walk's limit
    FileEnd,   // the member would run past the end of the file (or past 2^32)
};

struct ChainMember {
    std::uint32_t position = 0;
    HeaderBytes header{};
};

struct ChainWalk {
    std::vector<ChainMember> members;  // in image order
    ChainEnd end = ChainEnd::Erased;
    // Where the walk stopped: the position after the last member (the free
    // place for Erased, NoMember and Limit), or the position of the member
    // that ran past the end of the file.
    std::uint32_t end_position = 0;
};

// Walks the members from `start`. At each position: erased space ends the
// walk (checked first: all-0xFF is erased, not a stray byte), then a missing
// "-lh"; otherwise the member is taken unless it runs past the end of the
// file; the next position is position + H + P + 3, and the walk ends when
// that is not below `limit` (area_end - 0x40 for the listing and the add;
// the file size for an unbounded walk). The first position is not compared
// with `limit`.
ChainWalk walk_chain(File& file, std::uint32_t start, std::uint32_t limit);

// Copies the `count` bytes at `from` of the image into the work file
// `path` (created or truncated), in pieces of at most 0x8000 bytes. Returns
// false when a byte could not be read or the file not be written.
bool copy_out(File& image, std::uint64_t from, std::uint64_t count, const std::string& path);

// Removes the `length` bytes at `dst`: the members behind them, up to `end`,
// move down by `length` bytes, keeping order and contents, and the bytes
// from where the moved members now end up to `end` become 0xFF. Members are
// moved one by one (H + P + 3 bytes each, in pieces of at most 0x8000 bytes)
// until a packed size of 0xFFFFFFFF; a member that reaches past `end` is
// moved only up to `end`, so no byte at or above `end` is moved or written.
// `end` is bounded by the end of the file. Changes no header, checksum or
// record. Returns false when a read or write of the file failed.
bool close_gap(File& file, std::uint32_t dst, std::uint32_t length, std::uint32_t end);
