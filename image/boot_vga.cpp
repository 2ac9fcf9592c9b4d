// The boot-block VGA ROM: /btvga, and the listing's view of it.
#include "image/boot_vga.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "archive/pack.hpp"
#include "archive/work_files.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/listing_row.hpp"
#include "image/bios_image.hpp"
#include "image/chain.hpp"
#include "image/group_files.hpp"
#include "image/image_writer.hpp"
#include "archive/member_head.hpp"
#include "image/records.hpp"

void list_boot_block_vga(BiosImage& image) {
    const std::optional<std::uint32_t> k = paragraph_record_end(image.bytes, image.top_base, kBtVgaText);
    if (!k) return;
    std::uint8_t record[kParagraph];
    std::uint64_t record_at = std::uint64_t{image.top_base} + *k - kParagraph;
    if (read_window(image.bytes, record_at, record) < kSlotStartAt + 2) return;
    std::uint16_t start = bytes::le16(record + kSlotStartAt);

    // The slot lies in the top 64 KB; in a smaller file part of it is outside.
    std::int64_t h = std::int64_t{image.file_size} - kSlotBase + start;
    if (h < 0 || h >= image.file_size) return;
    const MemberHead header = read_member_head(image.bytes, static_cast<std::uint64_t>(h));
    if (!has_fixed_fields(header)) return;  // not even the fixed fields are in the file
    if (!holds_member(header)) return;      // erased or foreign bytes
    const std::uint32_t original = original_size(header);
    if (original == 0) return;

    const std::uint32_t packed = packed_size(header);
    const auto member = static_cast<std::uint32_t>(member_span(header));  // with its end byte, 32-bit
    print_listing_row("(BB) Compress BT-VGA ", original, size_text(packed, member / 1024.0), listed_name(header));
}

bool has_on_board_vga(const BiosImage& image) {
    return rom_after_paragraph_record(image.bytes, image.top_base, kBtBkVgaText) ||
           rom_after_paragraph_record(image.bytes, image.top_base, kBtVgaText);
}

void report_on_board_vga(BiosImage& image) {
    if (has_on_board_vga(image)) console::out("\n ****** On Board VGA ROM In BootBlock ******\n");
}

std::optional<ByteRange> find_boot_room(const BiosImage& image) {
    const std::optional<std::uint32_t> k = paragraph_record_end(image.bytes, image.top_base, kBtBkVgaText);
    if (!k) return std::nullopt;
    return ByteRange{image.top_base + *k, image.top_base + kBootRoomEnd};
}

std::optional<BootSlot> find_boot_slot(const BiosImage& image, std::string_view text) {
    const std::optional<std::uint32_t> k = paragraph_record_end(image.bytes, image.top_base, text);
    if (!k) return std::nullopt;
    std::uint8_t record[kParagraph];
    if (read_window(image.bytes, std::uint64_t{image.top_base} + *k - kParagraph, record) < kSlotEndAt + 2)
        return std::nullopt;
    BootSlot slot;
    slot.start = bytes::le16(record + kSlotStartAt);
    slot.end = bytes::le16(record + kSlotEndAt);
    const std::int64_t base = std::int64_t{image.file_size} - kSlotBase;
    if (base + slot.start < 0 || slot.end < slot.start || base + slot.end > image.file_size) return std::nullopt;
    slot.begin = static_cast<std::uint32_t>(base + slot.start);
    slot.limit = static_cast<std::uint32_t>(base + slot.end);
    return slot;
}

namespace {

inline constexpr std::size_t kRomBlock = 512;

GroupResult no_room(const GroupRequest& group, const BiosImage& image) {
    console::conf("%s have not enough space for adding ROM.\n\n", image.path.c_str());
    return kind_failed(group.code);
}

// Writes `data` at `at`, then 0xFF up to `limit`: the room and nothing else.
GroupResult place(const GroupRequest& group, BiosImage& image, std::uint32_t at, std::vector<std::uint8_t> data,
                  std::uint32_t limit) {
    console::outf("Adding %s into BootBlock ..... ", group.rom_file.c_str());
    {
        WriteScope scope(image, {ByteRange{at, limit}});
        data.resize(limit - at, 0xFF);
        write_image(image, at, data);
    }
    console::out("Success\n");
    return image_changed();
}

// The ROM uncompressed in the "BtBkVgaRom" room.
GroupResult place_in_room(const GroupRequest& group, BiosImage& image, ByteRange room, std::vector<std::uint8_t> rom) {
    if (room.end > image.file_size || rom.size() > room.end - room.begin) return no_room(group, image);
    return place(group, image, room.begin, std::move(rom), room.end);
}

// The ROM packed whole (the file as it is, not cut to its length byte)
// under TypeId 4000:0 into the "*BT-VGA*" slot.
GroupResult place_in_slot(const GroupRequest& group, BiosImage& image) {
    const std::optional<BootSlot> slot = find_boot_slot(image, kBtVgaText);
    if (!slot) {
        console::conf("%s has no room for a boot-block VGA ROM; nothing is added.\n", image.path.c_str());
        return kind_failed(group.code);
    }
    std::optional<std::vector<std::uint8_t>> member = pack_member(
        group.rom_bytes, {.type_id = std::string(kBootVgaTypeId), .name = group.rom_file, .verbose = true});
    const Kept kept = member ? keep_group_file(group, work_file::kArchive, *member) : Kept::Yes;
    if (kept != Kept::Yes) {
        GroupResult r = kind_failed(group.code);
        r.write_failed = kept == Kept::WriteFailed;
        return r;
    }
    if (!member || member->size() >= std::size_t{slot->end} - slot->start) return no_room(group, image);
    return place(group, image, slot->begin, std::move(*member), slot->limit);
}

}  // namespace

GroupResult add_boot_block_vga(const GroupRequest& group, BiosImage& image) {
    if (!image.banked) {
        // Only the banked boot block has a room for a VGA ROM.
        console::conf("%s has no room for a boot-block VGA ROM; nothing is added.\n", image.path.c_str());
        return kind_failed(group.code);
    }
    std::vector<std::uint8_t> rom = group.rom_bytes;
    if (rom.size() < 3 || rom[0] != 0x55 || rom[1] != 0xAA) {
        console::con("The ROM Not VGA BIOS\n\n");
        return kind_failed(group.code, Outcome::EndOfRun);
    }
    rom.resize(std::size_t{rom[2]} * kRomBlock, 0xFF);  // a file shorter than its length byte says: 0xFF for the rest
    if (const std::optional<ByteRange> room = find_boot_room(image)) return place_in_room(group, image, *room, std::move(rom));
    return place_in_slot(group, image);
}
