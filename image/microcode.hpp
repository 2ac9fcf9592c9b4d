// CPU microcode in an image: the component a walk of the chain captures
// (TypeId segment 0x4001, expanded in memory) and the entries the listing's
// "Micro Code Information" report shows, from the three places microcode
// lives in (the boot-block table, the compressed component, the top-placed
// block). Reads only; nothing is printed.
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
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/chain.hpp"

struct BiosImage;

inline constexpr std::uint16_t kCpuCodeSegment = 0x4001;
inline constexpr std::uint32_t kMicrocodeEntrySize = 2048;
// The largest component the capture expands; a header promising more is
// damaged (an image holds at most a few MB of components).
inline constexpr std::uint32_t kMaxCapturedSize = 16u << 20;

// What the walk kept: whether it holds a component, the component's bytes
// and its original size from its header; and what the expansion said when
// it failed ("Unknown method: %u", a damage text), for the listing to print.
struct MicrocodeCapture {
    bool captured = false;
    std::vector<std::uint8_t> data;
    std::uint32_t original_size = 0;
    std::string message;
};

// Captures the member (a CPU microcode component): its data bytes when
// stored, else its full expansion. A member that cannot be expanded leaves
// the capture empty, with the expansion's message.
void capture_microcode(ImageBytes image, const ChainMember& member, MicrocodeCapture& capture);

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

// The entry at `offset` of `buffer`: Intel when (length not 0) the length / 4
// words from `offset` sum to 0 and its six header words are non-zero; else
// bridge when the sum of the words at 64..1855 equals the word at 12; else
// nothing. An entry that does not lie wholly inside `buffer` (length bytes,
// 1856 for the bridge test) fails the test that needs it.
std::optional<MicrocodeEntry> decode_microcode_entry(std::span<const std::uint8_t> buffer, std::size_t offset,
                                                     std::uint32_t length);

// The length the Intel header of the entry at `offset` gives it: its total
// size, 0 meaning 2048; nothing when the header is cut short.
std::optional<std::uint32_t> microcode_total_size(std::span<const std::uint8_t> buffer, std::size_t offset);

// The 32-bit sum of the whole words of `entry`: 0 for an Intel update.
std::uint32_t microcode_word_sum(std::span<const std::uint8_t> entry);

// The report's entries and how its table is headed.
struct MicrocodeReport {
    bool bridge_heading = false;          // the boot-block table's first entry has the bridge layout
    std::vector<MicrocodeEntry> entries;  // in the report's order
};

// The report of the image, with the component the listing's walk captured.
MicrocodeReport microcode_report(const BiosImage& image, const MicrocodeCapture& capture);
