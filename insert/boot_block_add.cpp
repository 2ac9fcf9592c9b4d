// /btvga and /NVMM: the boot block's VGA room and slot, and the
// memory-module slot.
#include "insert/boot_block_add.hpp"

#include <vector>

#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "image/boot_vga.hpp"
#include "image/image_writer.hpp"
#include "image/memory_module.hpp"
#include "image/work_files.hpp"
#include "insert/prepare.hpp"
#include "insert/rom_checks.hpp"

namespace {

inline constexpr std::size_t kRomBlock = 512;

GroupResult no_room(const GroupRequest& group, const BiosImage& image) {
    console::conf("%s have not enough space for adding ROM.\n\n", image.path.c_str());
    return kind_failed(group.code);
}

// The room or slot filled: `data`, then 0xFF to its end.
GroupResult place(const GroupRequest& group, ImageWriter& writer, Region region, std::vector<std::uint8_t> data) {
    console::outf("Adding %s into BootBlock ..... ", group.rom_file.c_str());
    fill_boot_region(writer, region, std::move(data), 0xFF);
    console::out("Success\n");
    return image_changed();
}

// The ROM uncompressed in the "BtBkVgaRom" room.
GroupResult place_in_room(const GroupRequest& group, ImageWriter& writer, ByteRange room,
                          std::vector<std::uint8_t> rom) {
    if (room.end > writer.image().file_size || rom.size() > room.end - room.begin)
        return no_room(group, writer.image());
    return place(group, writer, Region::BootVgaRoom, std::move(rom));
}

// The ROM packed whole (the file as it is, not cut to its length byte)
// under TypeId 4000:0 into the "*BT-VGA*" slot.
GroupResult place_in_slot(const GroupRequest& group, ImageWriter& writer) {
    const BiosImage& image = writer.image();
    const std::optional<BootSlot> slot = find_boot_slot(image, kBtVgaText);
    if (!slot) {
        console::conf("%s has no room for a boot-block VGA ROM; nothing is added.\n", image.path.c_str());
        return kind_failed(group.code);
    }
    Packed packed = pack_for_group(group, group.rom_bytes, group.member_name(), false, kBootVgaTypeId);
    if (packed.write_failed || packed.refused) {
        GroupResult r = kind_failed(group.code);
        r.write_failed = packed.write_failed;
        return r;
    }
    if (!packed.archive || packed.archive->size() >= std::size_t{slot->end} - slot->start) return no_room(group, image);
    return place(group, writer, Region::BootVgaSlot, std::move(*packed.archive));
}

}  // namespace

void fill_boot_region(ImageWriter& writer, Region region, std::vector<std::uint8_t> data, std::uint8_t fill) {
    WriteScope scope(writer, {region});
    const ByteRange range = *region_range(scope.image(), region);
    data.resize(range.end - range.begin, fill);
    scope.write(range.begin, data);
}

GroupResult add_boot_block_vga(const Operand& op) {
    const GroupRequest& group = op.group;
    ImageWriter& writer = op.image;
    if (!writer.image().banked) {
        // Only the banked boot block has a room for a VGA ROM.
        console::conf("%s has no room for a boot-block VGA ROM; nothing is added.\n", writer.image().path.c_str());
        return kind_failed(group.code);
    }
    std::vector<std::uint8_t> rom = group.rom_bytes;
    if (!has_rom_signature(rom)) {
        console::con("The ROM Not VGA BIOS\n\n");
        return kind_failed(group.code, Outcome::EndOfRun);
    }
    rom.resize(std::size_t{rom[2]} * kRomBlock, 0xFF);  // a file shorter than its length byte says: 0xFF for the rest
    if (const std::optional<ByteRange> room = find_boot_room(writer.image()))
        return place_in_room(group, writer, *room, std::move(rom));
    return place_in_slot(group, writer);
}

GroupResult add_memory_module(const Operand& op) {
    const GroupRequest& group = op.group;
    ImageWriter& writer = op.image;
    const BiosImage& image = writer.image();
    std::optional<BootSlot> slot = find_boot_slot(image, kNvdammText);
    if (!slot) {
        console::conf("%s isn't nVidia chipset BIOS ROM.\n", image.path.c_str());
        console::out("\n");
        return kind_failed(group.code);
    }
    if (group.rom_bytes.size() > std::size_t{slot->end} - slot->start) {
        console::conf("%s have not enough space for adding ROM.\n", image.path.c_str());
        console::out("\n");
        return kind_failed(group.code);
    }
    console::outf("Adding %s into BootBlock .....(Start %x) ", group.rom_file.c_str(), slot->start);
    fill_boot_region(writer, Region::MemorySlot, group.rom_bytes, 0x00);  // the slot's rest is 0x00
    console::out("Success\n");
    return image_changed();
}
