// /pack: the top block and the boot block's slots, put in anew when their
// content changed.
#include "folder/pack_blocks.hpp"

#include "archive/pack.hpp"
#include "common/catalogue.hpp"
#include "common/console.hpp"
#include "image/boot_vga.hpp"
#include "insert/add.hpp"
#include "insert/boot_block_add.hpp"
#include "insert/rom_checks.hpp"

std::optional<std::vector<std::uint8_t>> pack_line(const ManifestLine& l, std::span<const std::uint8_t> content,
                                                   Encoder encoder) {
    return pack_member(content, {.type_id = l.type_id,
                                 .name = l.name,
                                 .store = l.method == "-lh0-",
                                 .encoder = encoder,
                                 .voice = console::voice()});
}

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string overflow(const ManifestLine& l, const char* what, std::size_t over) {
    return line_fault(
        l, "the " + std::string(what) + " overflows by " + std::to_string(over) + " bytes; shrink the content file");
}

// The body placed as /NC_CPUCODE places it; the placement says on the
// console channel why it does not fit.
std::optional<std::string> put_top_block(ImageWriter& writer, const ChangedBlock& b, FixupRequest& fixups) {
    GroupRequest group;
    group.code = code::nc_cpucode;
    group.type_id = std::string(kind(group.code).type_id);
    group.type_value = kind(group.code).type_value;
    RomSlots slots;
    if (place_top_block({group, writer, slots}, b.content).failed)
        return line_fault(*b.line,
                          "the top block does not fit between the chain's end and the area's end (said above)");
    fixups.top_block_named = true;
    return std::nullopt;
}

// The member in the "*BT-VGA*" slot, 0xFF behind it; it must leave at
// least one byte of the slot erased, as /btvga does.
std::optional<std::string> put_boot_vga(ImageWriter& writer, const ChangedBlock& b) {
    const ManifestLine& l = *b.line;
    const std::optional<ByteRange> slot = region_range(writer.image(), Region::BootVgaSlot);
    if (!slot) return line_fault(l, "this image has no \"*BT-VGA*\" slot; remove the line");
    if (!has_rom_signature(b.content)) return line_fault(l, l.file + " is no ROM: it must begin with 55 AA");
    std::optional<Bytes> archive = pack_line(l, b.content, b.encoder);
    if (!archive) return line_fault(l, "the stored name is longer than 230 bytes");
    const std::size_t room = slot->end - slot->begin;
    if (archive->size() >= room) return overflow(l, "boot-block VGA slot", archive->size() - room + 1);
    fill_boot_region(writer, Region::BootVgaSlot, std::move(*archive), 0xFF);
    return std::nullopt;
}

// The module at the start of the "*NVDAMM*" slot, 0x00 behind it.
std::optional<std::string> put_memory_module(ImageWriter& writer, const ChangedBlock& b) {
    const std::optional<ByteRange> slot = region_range(writer.image(), Region::MemorySlot);
    if (!slot) return line_fault(*b.line, "this image has no \"*NVDAMM*\" slot; remove the line");
    const std::size_t room = slot->end - slot->begin;
    if (b.content.size() > room) return overflow(*b.line, "memory-module slot", b.content.size() - room);
    fill_boot_region(writer, Region::MemorySlot, Bytes(b.content.begin(), b.content.end()), 0x00);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> put_changed_blocks(ImageWriter& writer, std::span<const ChangedBlock> blocks,
                                              FixupRequest& fixups) {
    for (const ChangedBlock& b : blocks) {
        const Place place = b.line->place;
        std::optional<std::string> fault = place == Place::TopBlock     ? put_top_block(writer, b, fixups)
                                           : place == Place::BootVga    ? put_boot_vga(writer, b)
                                           : place == Place::MemorySlot ? put_memory_module(writer, b)
                                                                        : std::nullopt;
        if (fault) return fault;
    }
    return std::nullopt;
}
