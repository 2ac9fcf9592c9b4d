// The add's plan: the walk with the ROM comparison, the slot rule and the
// replacements, then the member's bytes at the free place and the space check.
#include "insert/placement.hpp"

#include <algorithm>
#include <optional>

#include "archive/extract.hpp"
#include "archive/member_header.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"
#include "image/bios_image.hpp"
#include "image/records.hpp"
#include "image/work_files.hpp"
#include "insert/rom_checks.hpp"

namespace {

inline constexpr std::uint16_t kRomCompareLast = 0x40A6;  // members compared: 0x4080-0x40A6,
inline constexpr std::uint16_t kRomChosenLast = 0x40A7;   // while the new ROM's slot is 0x4080-0x40A7
inline constexpr std::uint32_t kAlignment = 16;           // /NoCompress data start
inline constexpr std::size_t kMaxTopBlock = 0x10000;      // the longest microcode block placed at the top

// The uncompressed ROM of a member already in the image (its first 128 KiB),
// expanded in memory. A damaged member ends the run with the codec's fatal
// error, before anything is written; one whose data ends early (the
// expansion said so) gives nothing; one of a method the expansion does not
// know is an empty ROM, which matches none.
std::optional<std::vector<std::uint8_t>> expand_rom_member(const BiosImage& image, const ChainMember& m) {
    Expansion e = expand_member(std::span(image.bytes).subspan(m.position), kMaxRomBytes, console::voice());
    if (e.status == Expansion::Status::Damaged) fatal(e.damage);
    if (e.status == Expansion::Status::EndedEarly) return std::nullopt;
    return std::move(e.data);
}

bool in_slot_flags(std::uint16_t segment) {
    return segment >= kRomSegmentBase && segment < kRomSegmentBase + kRomSlotFlags;
}

// A refusal of the add: the kind `kind` fails.
Planned refused(OptionCode kind, bool no_room = false) {
    Planned p;
    p.refusal = kind_failed(kind);
    p.refusal.fixup_mark = no_room;  // the fix-ups read this mark
    return p;
}

// The next slot of the family that no walk of the run has seen taken.
std::uint16_t next_free_slot(std::uint16_t chosen, const RomSlots& slots) {
    do ++chosen;
    while (in_slot_flags(chosen) && slots.test(chosen - kRomSegmentBase));
    return chosen;
}

// Whether the ROM member `m` holds the same ROM as the new one. Nothing,
// reported, when it is damaged.
std::optional<bool> is_same_rom(const GroupRequest& group, const BiosImage& image, const PreparedMember& member,
                                const ChainMember& m) {
    const std::optional<std::vector<std::uint8_t>> old_rom = expand_rom_member(image, m);
    if (!old_rom) {
        console::conf("The component at %Xh is damaged; nothing is added.\n", m.position);
        return std::nullopt;
    }
    return same_rom(group.code, member.rom, *old_rom);
}

// The walk: replacements and the ROM slot. The plan's removals and the
// chosen slot, or the refusal.
Planned walk_members(const GroupRequest& group, RomSlots& slots, const BiosImage& image, const PreparedMember& member,
                     const ChainWalk& walk, std::uint16_t& chosen, bool pinned) {
    const SlotFamily* family = group.row().family;
    Planned planned;
    planned.plan.emplace();
    for (const ChainMember& m : walk.members) {
        const std::uint16_t segment = type_segment(m.header);
        bool same = false;
        if (family && segment >= kRomSegmentBase && segment <= kRomCompareLast && chosen <= kRomChosenLast) {
            const std::optional<bool> compared = is_same_rom(group, image, member, m);
            if (!compared) return refused(group.code);
            same = *compared;
        }
        if (family && !same && !pinned) {
            if (in_slot_flags(segment)) slots.set(segment - kRomSegmentBase);
            if (segment == chosen) chosen = next_free_slot(chosen, slots);
            if (!family->full_warning.empty() && chosen >= family->base + family->count) {
                console::con(std::string(family->full_warning) + "\n");
                return refused(group.code);
            }
        }
        if (segment == chosen || same) {
            if (family && family->isa_rules) {
                console::conf("CAUTION : This [%s] ISA ROM Exist\n", group.rom_file.c_str());
                return refused(group.code);
            }
            planned.plan->removals.push_back(m);
        }
    }
    return planned;
}

// Bytes missing for a member of `extent` bytes at `position`: it must start
// where the walk still looks and end within the chain's space. 0 when it fits.
std::uint64_t shortfall(const BiosImage& image, std::uint32_t position, std::uint64_t extent) {
    const std::uint64_t end = std::uint64_t{position} + extent;
    const std::uint64_t limit = chain_space_end(image);
    std::uint64_t over = end > limit ? end - limit : 0;
    const std::uint32_t walk_end = chain_walk_limit(image);
    if (position >= walk_end) over = std::max<std::uint64_t>(over, position - walk_end + 1);
    return over;
}

Planned report_no_room(const GroupRequest& group, const BiosImage& image, std::uint64_t over) {
    console::conf("%s have not enough space for adding ROM. (Over %04Xh bytes)\n\n", image.path.c_str(),
                  static_cast<unsigned>(std::min<std::uint64_t>(over, 0xFFFFFFFF)));
    return refused(group.code, true);
}

// The prepared member's header, or nothing (reported, the kind failed)
// when its archive holds no member the add can place.
std::optional<MemberHead> usable_head(const PreparedMember& member) {
    const MemberHead head = read_member_head(member.archive, 0);
    bool usable = is_whole_header(head);
    // A stored member is written as its original size of data: that must be its packed size too.
    if (usable && method_char(head) == '0') usable = packed_size(head) == original_size(head);
    if (usable) return head;
    console::conf("%s holds no component header; nothing is added.\n",
                  member.source.empty() ? work_file::kArchive : member.source.c_str());
    return std::nullopt;
}

// The header as it goes to `position`: /NoCompress lengthens it so that the
// data starts on a 16-byte boundary; ROM kinds get the slot's TypeId (and an
// ISA address). Returns the bytes the data takes from behind the old
// header; nothing when the header cannot grow.
std::optional<std::uint64_t> edit_header(const GroupRequest& group, const BiosImage& image, MemberHead& head,
                                         std::uint32_t position, std::uint16_t chosen) {
    const SlotFamily* family = group.row().family;
    if (group.row().preparation == FilePreparation::Stored) {
        const std::uint32_t r = (position + header_size(head) + 2) % kAlignment;
        if (r != 0 && !lengthen_header(head, static_cast<std::uint8_t>(kAlignment - r))) return std::nullopt;
        print_combine(group.rom_file, image);
        resum_header(head);
        return packed_size(head);
    }
    if (family && (!family->isa_rules || group.isa_segment != 0)) {
        set_type_segment(head, chosen);
        if (family->isa_rules) set_type_words(head, group.isa_segment);
    }
    resum_header(head);
    return method_char(head) == '0' ? std::uint64_t{original_size(head)} : packed_size(head) + kMemberEndByte;
}

// The member's bytes as they go to `position`, or the refusal: no usable
// member, or no room.
Planned member_bytes(const GroupRequest& group, const BiosImage& image, const PreparedMember& member,
                     std::uint32_t position, std::uint16_t chosen) {
    std::optional<MemberHead> head = usable_head(member);
    if (!head) return refused(group.code);
    const std::size_t old_header = std::size_t{header_size(*head)} + 2;
    const std::optional<std::uint64_t> data_bytes = edit_header(group, image, *head, position, chosen);
    if (!data_bytes) return report_no_room(group, image, kAlignment);  // a header of 255 bytes cannot grow
    const std::span<const std::uint8_t> header = header_in_holder(*head);
    const std::uint64_t extent = std::max<std::uint64_t>(member_span(*head), header.size() + *data_bytes);
    if (const std::uint64_t over = shortfall(image, position, extent); over != 0)
        return report_no_room(group, image, over);
    // Fits: the data, with 0xFF for every byte past the end of the archive.
    Planned planned;
    std::vector<std::uint8_t>& out = planned.plan.emplace().bytes;
    out.assign(header.begin(), header.end());
    const std::vector<std::uint8_t>& archive = member.archive;
    const std::size_t have =
        static_cast<std::size_t>(std::min<std::uint64_t>(archive.size(), old_header + *data_bytes));
    out.insert(out.end(), archive.begin() + static_cast<std::ptrdiff_t>(old_header),
               archive.begin() + static_cast<std::ptrdiff_t>(have));
    out.resize(static_cast<std::size_t>(header.size() + *data_bytes), 0xFF);
    return planned;
}

// The walk's part of a plan: the replaced members and the free place.
Planned plan_walk(const GroupRequest& group, RomSlots& slots, const BiosImage& image, const PreparedMember& member,
                  std::uint16_t& chosen, bool pinned = false) {
    const ChainWalk walk = walk_image_chain(image);
    Planned planned = walk_members(group, slots, image, member, walk, chosen, pinned);
    if (!planned.plan) return planned;
    // A member that runs past the area (into the microcode block or the
    // boot block) is damage as much as bytes that are no member: moving it
    // would carry those bytes along and erase behind it.
    if (const std::optional<std::uint32_t> damage = chain_damage(image, walk)) {
        console::conf("Damaged component chain at %05Xh: nothing added\n", *damage);
        return refused(group.code);
    }
    AddPlan& plan = *planned.plan;
    std::uint64_t removed = 0;
    for (const ChainMember& m : plan.removals) removed += member_span(m.header);
    plan.chain_end = walk.end_position;
    plan.position = static_cast<std::uint32_t>(walk.end_position - removed);
    return planned;
}

// The top block's bytes from `from`: 0xFF where an old, longer block stood,
// the body and its trailer; the area's check bytes keep their values when
// they stand in the trailer (the fix-ups carry them forward).
std::vector<std::uint8_t> top_block_bytes(const BiosImage& image, std::uint32_t from, std::uint32_t start,
                                          std::span<const std::uint8_t> body) {
    std::vector<std::uint8_t> out(start - from, 0xFF);
    out.insert(out.end(), body.begin(), body.end());
    const auto trailer = top_trailer(static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), trailer.begin(), trailer.end());
    if (const std::optional<std::uint32_t> check = check_bytes_position(image))
        for (std::uint32_t at = *check; at < *check + 2; ++at)
            if (at >= from && at < image.area_end) out[at - from] = image.bytes[at];
    return out;
}

}  // namespace

Planned plan_add(const GroupRequest& group, RomSlots& slots, const BiosImage& image, const PreparedMember& member,
                 std::optional<std::uint16_t> pinned) {
    std::uint16_t chosen = pinned.value_or(group.type_value);
    Planned planned = plan_walk(group, slots, image, member, chosen, pinned.has_value());
    if (!planned.plan) return planned;
    Planned bytes = member_bytes(group, image, member, planned.plan->position, chosen);
    if (!bytes.plan) return bytes;
    planned.plan->bytes = std::move(bytes.plan->bytes);
    return planned;
}

Planned plan_top_block(const GroupRequest& group, RomSlots& slots, const BiosImage& image,
                       std::span<const std::uint8_t> body) {
    std::uint16_t chosen = group.type_value;
    Planned planned = plan_walk(group, slots, image, PreparedMember{}, chosen);
    if (!planned.plan) return planned;
    AddPlan& plan = *planned.plan;
    // The block may take every byte between the chain's end and area_end,
    // the old block's included.
    const std::uint64_t free = plan.position;
    const std::uint64_t end = free + body.size() + kNcpuTrailerSize;
    if (body.size() > kMaxTopBlock || end > image.area_end)
        return report_no_room(group, image,
                              std::max<std::uint64_t>(end > image.area_end ? end - image.area_end : 0,
                                                      body.size() > kMaxTopBlock ? body.size() - kMaxTopBlock : 0));
    const std::uint32_t start = image.area_end - kNcpuTrailerSize - static_cast<std::uint32_t>(body.size());
    // The area's check bytes may stand in the trailer's last three bytes,
    // which hold zeros only, but nowhere else in the block.
    const std::optional<std::uint32_t> check = check_bytes_position(image);
    if (check && *check + 2 > start && *check + 3 < image.area_end)
        return report_no_room(group, image, *check + 2 - start);
    // Bytes of an old, longer block below the new one become erased space,
    // so that the chain ends at 0xFF again; none below the chain's end.
    std::uint32_t from = start;
    if (image.ncpu_block)
        from = std::max<std::uint32_t>(static_cast<std::uint32_t>(free), std::min(start, top_block_start(image)));
    plan.bytes = top_block_bytes(image, from, start, body);
    plan.position = from;
    plan.top_block = start;
    return planned;
}

std::optional<std::vector<std::uint8_t>> aligned_member(std::span<const std::uint8_t> archive, std::uint32_t position) {
    MemberHead head = read_member_head(archive, 0);
    const std::size_t old_header = std::size_t{header_size(head)} + 2;
    const std::uint32_t r = (position + header_size(head) + 2) % kAlignment;
    if (r != 0 && !lengthen_header(head, static_cast<std::uint8_t>(kAlignment - r))) return std::nullopt;
    resum_header(head);
    const std::span<const std::uint8_t> header = header_in_holder(head);
    std::vector<std::uint8_t> out(header.begin(), header.end());
    const std::size_t have = std::min<std::size_t>(archive.size(), old_header + packed_size(head));
    out.insert(out.end(), archive.begin() + static_cast<std::ptrdiff_t>(std::min(old_header, have)),
               archive.begin() + static_cast<std::ptrdiff_t>(have));
    out.resize(static_cast<std::size_t>(member_span(head)), 0xFF);
    return out;
}

bool aligned_kind(std::uint16_t segment, std::uint16_t offset) {
    return kind(lookup_option(switch_of_type(segment, offset))).preparation == FilePreparation::Stored;
}
