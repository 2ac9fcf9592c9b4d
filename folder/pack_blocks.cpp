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

// A block's line as the add of its kind: /btvga or /NVMM with the line's
// content and stored name; the add says why it refuses.
std::optional<std::string> put_by_add(ImageWriter& writer, const ChangedBlock& b, OptionCode code,
                                      GroupResult (*add)(const Operand&)) {
    GroupRequest group;
    group.code = code;
    group.type_id = std::string(kind(code).type_id);
    group.type_value = kind(code).type_value;
    group.rom_file = b.line->file;
    group.stored_name = b.line->name;
    group.rom_bytes.assign(b.content.begin(), b.content.end());
    group.best = b.encoder == Encoder::Best;
    RomSlots slots;
    const GroupResult r = add({group, writer, slots});
    if (r.failed || !r.changed)
        return line_fault(*b.line, "the add of " + std::string(kind(code).switch_text) + " " + b.line->file +
                                       " refused it (said above)");
    return std::nullopt;
}

}  // namespace

std::optional<std::string> put_changed_blocks(ImageWriter& writer, std::span<const ChangedBlock> blocks,
                                              FixupRequest& fixups) {
    for (const ChangedBlock& b : blocks) {
        const Place place = b.line->place;
        std::optional<std::string> fault =
            place == Place::TopBlock     ? put_top_block(writer, b, fixups)
            : place == Place::BootVga    ? put_by_add(writer, b, code::btvga, add_boot_block_vga)
            : place == Place::MemorySlot ? put_by_add(writer, b, code::nvmm, add_memory_module)
                                         : std::nullopt;
        if (fault) return fault;
    }
    return std::nullopt;
}
