// The survey of an image: one walk of its chain, and every record the
// reports show.
#include "image/survey.hpp"

#include <algorithm>

#include "common/bytes.hpp"
#include "image/records.hpp"

namespace {

SystemBiosRecord system_bios(const BiosImage& image) {
    SystemBiosRecord bios;
    bios.position = system_bios_position(image);
    const MemberHead header = read_member_head(image.bytes, bios.position);
    if (!holds_member(header)) {
        // Nothing stored there: only the space reserved for it.
        bios.space = system_bios_space(bios.position, 0, 0, image.file_size);
        return bios;
    }
    bios.space = system_bios_space(bios.position, header_size(header), packed_size(header), image.file_size);
    bios.head = header;
    return bios;
}

CompressedSpace compressed_space(const BiosImage& image, const SystemBiosRecord& bios, const ChainWalk& chain) {
    std::uint32_t used = bios.space;
    // The walk took only members inside the file, so each span fits 32 bits.
    for (const ChainMember& member : chain.members) used += static_cast<std::uint32_t>(member_span(member.header));
    // All three are 32-bit values, as the area's pointers are.
    const std::uint32_t total =
        image.chain_start != 0 ? image.area_end - image.first_member : bios.space + image.area_end;
    return {total, used + image.ncpu_size};
}

std::optional<TopBlockRecord> top_block(const BiosImage& image) {
    if (!image.ncpu_block) return std::nullopt;
    // The trailer is found by its name, which it therefore always carries.
    return TopBlockRecord{top_block_start(image), image.ncpu_size, "NCPUCODE.BIN"};
}

// The member at the start of the "*BT-VGA*" slot, when one with a non-zero
// original size stands there.
std::optional<BootVgaMember> boot_vga_member(const BiosImage& image, const std::optional<BootSlot>& slot) {
    if (!slot) return std::nullopt;
    const MemberHead header = read_member_head(image.bytes, slot->begin);
    // Not even the fixed fields in the file, erased or foreign bytes, or empty.
    if (!has_fixed_fields(header) || !holds_member(header) || original_size(header) == 0) return std::nullopt;
    return BootVgaMember{slot->begin, header};
}

// The components in image order: the system BIOS, the chain, the top
// block, the boot block's VGA member and its memory-module slot.
std::vector<Component> components(const BiosImage& image, const ImageSurvey& s) {
    std::vector<Component> out;
    if (s.system_bios.head)
        out.push_back(member_component(Place::SystemBios, s.system_bios.position, *s.system_bios.head));
    for (const ChainMember& m : s.chain.members) out.push_back(member_component(Place::Chain, m.position, m.header));
    if (s.top_block && s.top_block->length != 0)
        out.push_back({Place::TopBlock, s.top_block->start, s.top_block->length, std::nullopt, s.top_block->name});
    if (s.vga_member) out.push_back(member_component(Place::BootVga, s.vga_member->position, s.vga_member->head));
    if (const std::optional<ByteRange> slot = region_range(image, Region::MemorySlot); slot && s.memory_module)
        out.push_back({Place::MemorySlot, slot->begin, slot->end - slot->begin, std::nullopt, "NVMM"});
    return out;
}

}  // namespace

ImageSurvey survey_image(const BiosImage& image, SurveyDepth depth) {
    ImageSurvey s;
    s.not_bios = not_a_bios_image(image);
    s.system_bios = system_bios(image);
    s.chain = walk_image_chain(image);
    s.space = compressed_space(image, s.system_bios, s.chain);
    s.top_block = top_block(image);
    s.vga_room = find_boot_room(image);
    s.vga_slot = find_boot_slot(image, kBtVgaText);
    s.vga_member = boot_vga_member(image, s.vga_slot);
    s.on_board_vga = has_on_board_vga(image);
    s.memory_module = find_memory_module(image);
    for (std::size_t i = 0; i < s.chain.members.size(); ++i) {
        if (type_segment(s.chain.members[i].header) != kCpuCodeSegment) continue;
        capture_microcode(image.bytes, s.chain.members[i], s.microcode_capture);
        if (!s.microcode_capture.message.empty()) s.capture_messages.emplace_back(i, s.microcode_capture.message);
    }
    s.microcode = microcode_report(image, s.microcode_capture);
    s.components = components(image, s);
    if (depth == SurveyDepth::Digested) s.check = check_image(image, s.chain, true);
    return s;
}
