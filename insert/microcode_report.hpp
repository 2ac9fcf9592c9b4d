// CPU microcode as the component listing shows it: the "(SP) NCPUCODE" row
// of the uncompressed block at the top of the compressed area, and the
// "Micro Code Information" report of the three places microcode lives in
// (the boot-block table, the compressed component, the top-placed block).
//
// Microcode entries are read in two layouts (32-bit little-endian words,
// offsets inside one entry):
//   Intel:  0 header version, 4 update revision (low byte shown), 8 date,
//           12 processor signature (low 16 bits shown; byte 13 picks the
//           package), 16 checksum, 20 loader revision (all six non-zero),
//           24 processor flags (low byte picks the package), 32 total size
//           (0 means 2048); the words of the entry sum to 0.
//   Bridge: 4 update ID, 12 the sum of the 448 words at 64..1855,
//           16 north bridge ID, 20 south bridge ID, 24 CPUID.
//
// Cells go four to a line for Intel entries, separated by "|  " under the
// heading's bars (columns 18, 39, 60), and two to a line for bridge entries,
// the separator in column 39 as in the bridge heading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "insert/microcode_capture.hpp"

struct BiosImage;

inline constexpr std::uint32_t kMicrocodeEntrySize = 2048;
inline constexpr int kIntelFirstColumn = 18;  // column of the first separator of a line
inline constexpr int kIntelColumnStep = 21;
inline constexpr int kCellWrapColumn = 62;    // a separator beyond this ends the line

// Prints the "(SP) NCPUCODE        " row (original size and space both the
// block's length, name "NCPUCODE.BIN") when image.ncpu_size is not 0.
void list_ncpu_block(BiosImage& image);

// Prints the table cell of the entry at `offset` of `buffer` and returns the
// column of the next separator. Intel cell when (length not 0) the length / 4
// words from `offset` sum to 0 and its six header words are non-zero: the
// package text, " %02X   %04X" (update revision's low byte, signature's low
// 16 bits), then at `column` a separator "|  " (column + 21), or a line end
// when `column` is beyond 62 (18). Otherwise a bridge cell when the sum of the
// words at 64..1855 equals the word at 12. Otherwise nothing, `column`
// returned unchanged. An entry that does not lie wholly inside `buffer`
// (length bytes, 1856 for the bridge test) fails the test that needs it.
int print_microcode_entry(std::span<const std::uint8_t> buffer, std::size_t offset, int column,
                          std::uint32_t length);

// One entry the report shows. `offset` is a file offset, but for the
// component's entries, where it is an offset in the expanded component.
enum class MicrocodeSource { BootBlockTable, Component, TopBlock };
struct MicrocodeEntry {
    MicrocodeSource source = MicrocodeSource::BootBlockTable;
    std::uint32_t offset = 0;
    bool bridge = false;
    // Intel: the package text (padded to 6), the update revision's low byte
    // and the signature's low 16 bits.
    std::string_view package;
    std::uint8_t revision = 0;
    std::uint16_t signature = 0;
    // Bridge.
    std::uint32_t north = 0, south = 0, update_id = 0, cpuid = 0;
};

// The entries of the report, in its order.
std::vector<MicrocodeEntry> microcode_entries(const BiosImage& image, const MicrocodeCapture& capture);

// The "Micro Code Information" report. Reads the image, and the component
// the listing's walk captured. A last line with fewer than four cells is
// left open after its "|  ".
void print_microcode_report(BiosImage& image, const MicrocodeCapture& capture);
