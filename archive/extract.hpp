// Expanding one member of a work archive into "original.tmp", and the step
// from one member to the next.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/member_header.hpp"
#include "common/file.hpp"

// Offset of the member after the one at `offset` whose header size is H and
// packed size P: offset + H + 2 + P in an archive file, plus `gap` bytes
// where members are kept apart (inside an image, image/chain.hpp).
std::uint64_t next_member_offset(std::uint64_t offset, std::uint8_t header_size,
                                 std::uint32_t packed_size, std::uint64_t gap = 0);

struct ExpandResult {
    File output;            // "original.tmp", open only when not closed
    std::uint16_t crc = 0;  // CRC-16 of the bytes written (not compared with data_crc)
    bool ended_early = false;  // the compressed data ran out before the original size
};

// Creates "original.tmp" and writes the expanded data of the member whose
// header was just read from `archive` (positioned at its first data byte).
// Methods "-lh0-" (copied), "-lh4-" and "-lh5-" (LH5 decoded) are accepted;
// any other prints "Unknown method: %u\n" on the console channel and leaves
// "original.tmp" empty. Compressed data that runs out (lh5_expand) is damage:
// the bytes decoded before that point are written, nothing after them, and
// "%s: compressed data ends early\n" (the stored name) goes to the console
// channel; `ended_early` tells the caller. Fatal: "Can't read" (stored data cut short),
// "Unable to write", "Bad table". If "original.tmp" cannot be created it
// says "Can't open original.tmp" on the console channel and writes nothing.
ExpandResult expand_member(File& archive, const ComponentHeader& header, bool close_output);

// Expands the first member of the archive file named by the archive-name
// setting into "original.tmp". When the archive cannot be opened or holds
// no member, says so on the console channel and creates nothing. True when
// the expansion was made and its data did not end early.
bool extract_component();

// The first `limit` bytes of the expanded data of the member whose header
// starts at `offset` of `file`, in memory: no work file is written. Empty
// for a method the expansion does not know or a byte 0 where the header
// size would stand. Data that ends early gives the bytes before that point,
// the message of expand_member, and `*ended_early` set (when given). Fatal
// errors as expand_member ("Header sum error", "Can't read", "Bad table").
std::vector<std::uint8_t> expand_in_memory(File& file, std::uint64_t offset, std::size_t limit,
                                           bool* ended_early = nullptr);

// extract_component on the archive file `archive`: the archive-name setting
// names it for the call and is restored afterwards, also when a fatal error
// ends the expansion. Returns what extract_component returns.
bool extract_archive(const std::string& archive);
