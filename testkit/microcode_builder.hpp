// Synthetic CPU microcode for tests and the demo: entries in the Intel
// update layout and in the bridge layout, with valid checksums, and the
// blocks of a synthetic image that carry them (the boot-block table, the
// uncompressed block with its "*ALIN16*" trailer and "*BS1" pointer, the
// "*BT-VGA*" slot, the "BtBkVgaRom" record and the "*NVDAMM*" slot).
//
// Entry layouts (32-bit little-endian words):
//   Intel:  0 header version 1, 4 revision, 8 date, 12 signature,
//           16 checksum (all words of the entry sum to 0), 20 loader
//           revision 1, 24 flags, 32 total size (0: 2048 bytes)
//   Bridge: 0 the value 1, 4 update ID, 8 zero, 12 sum of the words at 64..1855, 16 north ID,
//           20 south ID, 24 CPUID
// Each builder makes sure its entry passes only its own layout's test.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "testkit/image_builder.hpp"

namespace testkit {

struct IntelEntry {
    std::uint32_t revision = 0x12;
    std::uint32_t signature = 0x0686;
    std::uint32_t flags = 0x01;
    std::uint32_t total_size = 0;  // written at +32; 0 makes a 2048-byte entry
    std::uint8_t seed = 0x31;      // body pattern
};

struct BridgeEntry {
    std::uint32_t update_id = 0x0105;
    std::uint32_t north = 0x31881106;
    std::uint32_t south = 0x31771106;
    std::uint32_t cpuid = 0x0673;
    std::uint8_t seed = 0x57;
};

// The entry's bytes: 2048, or total_size when that is not 0.
std::vector<std::uint8_t> intel_microcode(const IntelEntry& entry);
// 2048 bytes.
std::vector<std::uint8_t> bridge_microcode(const BridgeEntry& entry);

// Entries one after another.
std::vector<std::uint8_t> concat(const std::vector<std::vector<std::uint8_t>>& parts);

// A member of segment 0x4001 ("/cpucode") holding `data`: stored ("-lh0-")
// or compressed with the tool's own LH5 coder.
MemberFields cpucode_member(const std::vector<std::uint8_t>& data, bool compressed, std::string name = "CPUCODE.BIN");

// The uncompressed microcode block ending at `area_end` with its trailer,
// and a "*BS1" record at `bs1_at` pointing at the block's start.
// Returns the block's start.
std::uint32_t put_top_microcode(SyntheticImage& image, std::uint32_t area_end, const std::vector<std::uint8_t>& data,
                                std::uint32_t bs1_at);

// A "*BT-VGA*" record (16-byte record number `index` from top_base) naming
// the slot [start, end) of the top 64 KB, and `member` (work-archive bytes)
// placed at the slot's start followed by its end byte 0x00.
void put_bt_vga_slot(SyntheticImage& image, std::uint32_t index, std::uint16_t start, std::uint16_t end,
                     const std::vector<std::uint8_t>& member);

// A "*NVDAMM*" record naming the slot [start, end] and, at `block_at` inside
// the top 64 KB, the bytes of `block` (for instance "NVMM\0TEXT...").
void put_nvdamm_slot(SyntheticImage& image, std::uint32_t index, std::uint16_t start, std::uint16_t end,
                     std::uint16_t block_at, std::string_view block);

// The top-64 KB offset `v` as a file offset.
inline std::uint32_t top64(const SyntheticImage& image, std::uint32_t v) {
    return image.size() - 0x10000 + v;
}

}  // namespace testkit
