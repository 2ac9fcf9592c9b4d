// The "-MIB-" document a /mib text file is converted into before packing.
//
// Layout, little-endian:
//   0   18  "-MIB-" and the bytes 0B 0C 01 00 03 01 04 4E 17 05 01 04 00
//   18  2   offset of the line table
//   20  2   total length of the document
//   22  ..  the text: lines of at most 78 characters, tabs expanded to
//           8-column stops, each line ended by one or two 0 bytes so that
//           the next starts at an even offset
//   ..  ..  the line table: one 16-bit entry per line, its start offset
// Offsets and lengths are even, so bit 0 of each 16-bit value carries bit 16
// of the value (documents reach up to 0x1FFFF bytes).
// Line ends in the text are LF; a CR is dropped.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The largest document: text and table stay within 0x1FFFF bytes; reading
// stops before a line that would not fit.
inline constexpr std::size_t kMaxMibDocument = 0x1FFFF;

std::vector<std::uint8_t> mib_document(std::span<const std::uint8_t> text);
