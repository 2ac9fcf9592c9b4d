// The memory-module block kept in the boot block: its slot, which /NVMM
// writes (insert/boot_block_add), and the texts the listing shows.
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

#include "image/bios_image.hpp"

inline constexpr std::string_view kNvdammText = "*NVDAMM*";
inline constexpr std::string_view kNvmmText = "NVMM";
inline constexpr std::uint32_t kNvmmTextsLength = 48;  // bytes after "NVMM" holding the texts

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
