// The memory-module block kept in the boot block: /NVMM, which writes it
// into its slot, and the listing's line.
//
// A 16-byte "*NVDAMM*" record, found at a 16-byte step from top_base, names
// the slot: +8 start s, +10 end e, 16-bit offsets inside the top 64 KB
// (offset v lies at file_size - 0x10000 + v). Somewhere in the slot the
// block carries "NVMM" and, in the 48 bytes after it, up to three texts
// separated by 0 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "image/group.hpp"

struct BiosImage;

inline constexpr std::string_view kNvdammText = "*NVDAMM*";
inline constexpr std::string_view kNvmmText = "NVMM";
inline constexpr std::uint32_t kNvmmTextsLength = 48;  // bytes after "NVMM" holding the texts

// /NVMM RomFile (group.rom_bytes): the file as it stands at the slot's
// start, 0x00 up to its end (an exact fit is accepted). Without a slot, or
// when the file is longer, the image is unchanged and the kind fails.
GroupResult add_memory_module(const GroupRequest& group, BiosImage& image);

// The block in the slot: the record's start and end as stored, where
// "NVMM" stands (searched from s up to and including e) and the three texts
// after it. Nothing without a record or without "NVMM". Bytes outside the
// file are never read.
struct MemoryModule {
    std::uint16_t start = 0, end = 0;
    std::uint32_t block = 0;  // file offset of "NVMM"
    std::array<std::string, 3> texts;
};
std::optional<MemoryModule> find_memory_module(const BiosImage& image);

// When the slot holds "NVMM" (searched from s up to and including e), prints
// "\n *** " with the three texts after it, each after one blank, and
// " * Start Offset => %x, End Offset => %x ***\n" with s and e as stored.
// Bytes outside the file are never read: the search stops at the end of
// the file and a text stops where the file does. Prints nothing without a
// record or without "NVMM". Reads only.
void list_memory_module(BiosImage& image);
