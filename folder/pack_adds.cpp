// /pack's changed chain lines, each the add of its switch.
#include "folder/pack_adds.hpp"

#include "common/catalogue.hpp"
#include "insert/add.hpp"

namespace {

// The kind a line adds as: its switch's (/ncr and /aha as /pci), or
// /other for a line whose kind has no switch.
OptionCode line_kind(const ManifestLine& l) {
    // "/groupN": the one /group row, its number in the line's TypeId.
    if (l.switch_text.size() > 6 && lookup_option(l.switch_text.substr(0, 6)) == code::group) return code::group;
    const OptionCode code = lookup_option(l.switch_text);
    if (code == 0 || kind(code).operation != Operation::Add) return code::other;
    return kind(code).becomes != 0 ? kind(code).becomes : code;
}

// The add's request of a line: its kind, TypeId, stored name and content;
// a ROM family's slot, and an ISA ROM's address, from the TypeId.
GroupRequest line_request(const LineAdd& a, const std::string& work_folder, bool best) {
    const ManifestLine& l = *a.line;
    GroupRequest g;
    g.code = line_kind(l);
    g.type_id = l.type_id;
    const TypeIdValue type = parse_type_id(l.type_id);
    g.type_value = type.segment;
    g.rom_file = l.file;
    g.stored_name = l.name;
    g.rom_bytes.assign(a.content.begin(), a.content.end());
    g.work_folder = work_folder;
    g.best = best;
    if (const SlotFamily* family = g.row().family;
        family && type.segment >= family->base && type.segment < family->base + family->count) {
        g.slot_segment = type.segment;
        if (family->isa_rules) g.isa_segment = type.offset;
    }
    return g;
}

}  // namespace

std::optional<std::string> add_lines(ImageWriter& writer, std::span<const LineAdd> adds, const std::string& work_folder,
                                     bool best) {
    RomSlots slots;
    for (const LineAdd& a : adds) {
        const GroupRequest group = line_request(a, work_folder, best);
        const GroupResult r = add_component({group, writer, slots});
        if (r.failed || !r.changed || r.write_failed)
            return line_fault(*a.line, "the add of " + std::string(kind(group.code).switch_text) + " " + a.line->file +
                                           " refused it (said above)");
    }
    return std::nullopt;
}
