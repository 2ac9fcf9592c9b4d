// Where the boot block (top 128 KB) keeps a VGA ROM: the room and the slot
// /btvga places it in (insert/boot_block_add), and whether a ROM stands
// there (the listing's "On Board VGA ROM In BootBlock" line).
//
// Two 16-byte records announce the room, found at 16-byte steps from top_base:
//   "BtBkVgaRom"  the ROM follows the record uncompressed, up to top_base + 0x1E000
//   "*BT-VGA*"    +8 slot start, +10 slot end (16-bit offsets inside the top
//                 64 KB: offset v lies at file_size - 0x10000 + v); the slot
//                 holds one member of TypeId 4000:0, the rest is 0xFF
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "image/bios_image.hpp"

inline constexpr std::string_view kBtVgaText = "*BT-VGA*";
inline constexpr std::string_view kBtBkVgaText = "BtBkVgaRom";
inline constexpr std::uint32_t kSlotStartAt = 8;  // in a slot record
inline constexpr std::uint32_t kSlotEndAt = 10;
inline constexpr std::uint32_t kSlotBase = 0x10000;           // slot offsets count from file_size - this
inline constexpr std::string_view kBootVgaTypeId = "4000:0";  // of the member in the "*BT-VGA*" slot
inline constexpr std::uint32_t kBootRoomEnd = 0x1E000;        // the "BtBkVgaRom" room ends at top_base + this

// The "BtBkVgaRom" room: from the end of its record up to top_base +
// 0x1E000 (which may lie past the end of a short file); nothing without the
// record.
std::optional<ByteRange> find_boot_room(const BiosImage& image);

// The slot a 16-byte record such as "*BT-VGA*" or "*NVDAMM*" names, as
// file offsets; nothing without the record, or when the slot's start or end
// lies outside the file or its end below its start.
struct BootSlot {
    std::uint16_t start = 0, end = 0;    // as stored in the record
    std::uint32_t begin = 0, limit = 0;  // file offsets of start and end
};
std::optional<BootSlot> find_boot_slot(const BiosImage& image, std::string_view text);

// Whether the 16 bytes after the "BtBkVgaRom" record, or else after the
// "*BT-VGA*" record, begin 55 AA 00 00.
bool has_on_board_vga(const BiosImage& image);
