// The chain of members inside an image: stepping from one member to the
// next (its header read through archive/member_header), where a chain ends,
// and closing the gap a removed member leaves.
//
// Inside the image every member keeps the end byte of the work archive it
// was copied from, so a member with header size H (byte 0) and packed size P
// (bytes 7-10) occupies H + 2 header bytes, P data bytes and one more byte:
// H + P + 3 in all. Free space behind the chain is 0xFF, so a packed size of
// 0xFFFFFFFF marks its end.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "archive/member_header.hpp"
#include "image/records.hpp"

struct BiosImage;

// The walks of the chain stop this far below area_end.
inline constexpr std::uint32_t kWalkMargin = 0x40;

// The smallest member: a header with an empty name (H = 25, H + 2 bytes),
// no data and the end byte.
inline constexpr std::uint32_t kSmallestMember = member::kFixedBytes + kMemberEndByte;

// The position after the member at `position`: position + H + P + 3.
// Nothing when that runs past `file_size` (which also rules out 32-bit wrap).
std::optional<std::uint32_t> next_member_position(std::uint32_t position, const MemberHead& header,
                                                  std::uint32_t file_size);

// How a walk ended.
enum class ChainEnd {
    Erased,    // a packed size of 0xFFFFFFFF (erased space, also past the end of the file)
    NoMember,  // bytes 2 to 4 are not "-lh"
    Full,      // the next position was not below the walk's limit: no further member fits
    FileEnd,   // the member would run past the end of the file (or past 2^32)
};

// A walk that ended at bytes that are no member, or at a member that runs
// past the file, found a damaged chain: its bytes are no members to move or
// to add behind.
inline bool chain_damaged(ChainEnd end) {
    return end == ChainEnd::NoMember || end == ChainEnd::FileEnd;
}

struct ChainMember {
    std::uint32_t position = 0;
    MemberHead header;
};

struct ChainWalk {
    std::vector<ChainMember> members;  // in image order
    ChainEnd end = ChainEnd::Erased;
    // Where the walk stopped: the position after the last member (the free
    // place for Erased, NoMember and Full), or the position of the member
    // that ran past the end of the file.
    std::uint32_t end_position = 0;
};

// Walks the members from `start`. At each position: erased space ends the
// walk (checked first: all-0xFF is erased, not a stray byte), then a missing
// "-lh"; otherwise the member is taken unless it runs past the end of the
// file; the next position is position + H + P + 3, and the walk ends (Full)
// when that is not below `limit`. The first position is not compared with
// `limit`.
ChainWalk walk_chain(ImageBytes image, std::uint32_t start, std::uint32_t limit);

// The limit of every walk of an image's chain (the add's, the listing's,
// release and extract, /verify): area_end - 0x40, or, when that is lower,
// the first position from which not even the smallest member fits below
// chain_space_end. A chain that ends there is full, not damaged: the bytes
// at its end may be the top block's, and are no header.
std::uint32_t chain_walk_limit(const BiosImage& image);

// The chain of the image: walk_chain from chain_start up to chain_walk_limit.
ChainWalk walk_image_chain(const BiosImage& image);

// Where the image's chain is damaged, by the one rule the add and /unpack
// go by: the walk ended at bytes that are no member or ran past the file
// (chain_damaged), or a member runs past the chain's space (into the top
// block or the boot block): moving or unpacking it would carry those bytes
// along. Nothing when the chain is sound.
std::optional<std::uint32_t> chain_damage(const BiosImage& image, const ChainWalk& walk);

// Removes the `length` bytes at `dst`: the members behind them, up to `end`,
// move down by `length` bytes, keeping order and contents, and the bytes
// from where the moved members now end up to `end` become 0xFF. Members are
// moved one by one (H + P + 3 bytes each) until a packed size of
// 0xFFFFFFFF; a member that reaches past `end` is moved only up to `end`, so
// no byte at or above `end` is moved or written. `end` is bounded by the end
// of the image. Changes no header, checksum or record.
void close_gap(std::span<std::uint8_t> image, std::uint32_t dst, std::uint32_t length, std::uint32_t end);
