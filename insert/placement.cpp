// The add's plan: the walk with the ROM comparison, the slot rule and the
// replacements, then the member's bytes at the free place and the space check.
#include "insert/placement.hpp"

#include <algorithm>
#include <optional>

#include "archive/extract.hpp"
#include "archive/member_header.hpp"
#include "archive/work_files.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"
#include "image/bios_image.hpp"
#include "image/records.hpp"
#include "insert/rom_checks.hpp"

namespace {

inline constexpr std::uint16_t kRomCompareLast = 0x40A6;  // members compared: 0x4080-0x40A6,
inline constexpr std::uint16_t kRomChosenLast = 0x40A7;   // while the new ROM's slot is 0x4080-0x40A7
inline constexpr std::uint32_t kAlignment = 16;          // /NoCompress data start
inline constexpr std::size_t kMaxTopBlock = 0x10000;     // the longest microcode block placed at the top

// The uncompressed ROM of a member already in the image (its first 128 KiB),
// expanded in memory. A damaged member ends the run with the codec's fatal
// error, before anything is written; one whose data ends early (the
// expansion said so) gives nothing; one of a method the expansion does not
// know is an empty ROM, which matches none.
std::optional<std::vector<std::uint8_t>> expand_rom_member(const BiosImage& image, const ChainMember& m) {
    Expansion e = expand_member(std::span(image.bytes).subspan(m.position), kMaxRomBytes);
    if (e.status == Expansion::Status::Damaged) fatal(e.damage);
    if (e.status == Expansion::Status::EndedEarly) return std::nullopt;
    return std::move(e.data);
}

bool in_slot_flags(std::uint16_t segment) {
    return segment >= kRomSegmentBase && segment < kRomSegmentBase + kRomSlotFlags;
}

// The walk: replacements and the ROM slot. False when the add ends here.
bool walk_members(RunState& state, BiosImage& image, const PreparedMember& member,
                  const ChainWalk& walk, std::uint16_t& chosen, AddPlan& plan) {
    const OptionCode c = state.code;
    const bool rom_kind = is_rom_kind(c);
    for (const ChainMember& m : walk.members) {
        const std::uint16_t segment = type_segment(m.header);
        bool same = false;
        if (rom_kind && segment >= kRomSegmentBase && segment <= kRomCompareLast && chosen <= kRomChosenLast) {
            const std::optional<std::vector<std::uint8_t>> old_rom = expand_rom_member(image, m);
            if (!old_rom) {
                console::conf("The component at %Xh is damaged; nothing is added.\n", m.position);
                state.fail(c);
                return false;
            }
            same = same_rom(c, member.rom, *old_rom);
        }
        if (rom_kind && !same) {
            if (in_slot_flags(segment)) state.rom_slot_used.set(segment - kRomSegmentBase);
            if (segment == chosen) {
                do ++chosen;
                while (in_slot_flags(chosen) && state.rom_slot_used.test(chosen - kRomSegmentBase));
            }
            if (c == code::vga && chosen >= kVgaSlots.base + kVgaSlots.count) {
                console::con("WARNING : VGA ROM Max 6 slots.\n");
                state.fail(code::vga);
                return false;
            }
            if (c == code::isa && chosen >= kIsaSlots.base + kIsaSlots.count) {
                console::con("WARNING : ISA ROM Max 8 slots.\n");
                state.fail(code::isa);
                return false;
            }
        }
        if (segment == chosen || same) {
            if (c == code::isa) {
                console::conf("CAUTION : This [%s] ISA ROM Exist\n", state.rom_file.c_str());
                state.fail(code::isa);
                return false;
            }
            plan.removals.push_back(m);
        }
    }
    return true;
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

void report_no_room(RunState& state, const BiosImage& image, std::uint64_t over) {
    console::conf("%s have not enough space for adding ROM. (Over %04Xh bytes)\n\n", image.path.c_str(),
                  static_cast<unsigned>(std::min<std::uint64_t>(over, 0xFFFFFFFF)));
    state.group_failed = true;  // the fix-ups read this mark
    state.fail(state.code);
}

// The prepared member's header, or nothing (reported, the kind failed)
// when its archive holds no member the add can place.
std::optional<MemberHead> usable_head(RunState& state, const PreparedMember& member) {
    const MemberHead head = read_member_head(member.archive, 0);
    bool usable = is_whole_header(head);
    // A stored member is written as its original size of data: that must be its packed size too.
    if (usable && method_char(head) == '0') usable = packed_size(head) == original_size(head);
    if (usable) return head;
    console::conf("%s holds no component header; nothing is added.\n",
                  member.source.empty() ? work_file::kArchive : member.source.c_str());
    state.fail(state.code);
    return std::nullopt;
}

// The member's bytes as they go to `position`, or nothing when they do not
// fit (reported). /NoCompress: the header lengthened so that the data starts
// on a 16-byte boundary; ROM kinds: the slot's TypeId (and an ISA address).
std::optional<std::vector<std::uint8_t>> member_bytes(RunState& state, const BiosImage& image,
                                                      const PreparedMember& member, std::uint32_t position,
                                                      std::uint16_t chosen) {
    std::optional<MemberHead> head = usable_head(state, member);
    if (!head) return std::nullopt;
    const std::size_t old_header = std::size_t{header_size(*head)} + 2;
    std::uint64_t data_bytes;  // bytes taken from behind the old header
    if (state.code == code::nocompress) {
        const std::uint32_t r = (position + old_header) % kAlignment;
        if (r != 0 && !lengthen_header(*head, static_cast<std::uint8_t>(kAlignment - r))) {
            report_no_room(state, image, kAlignment - r);  // a header of 255 bytes cannot grow
            return std::nullopt;
        }
        data_bytes = packed_size(*head);
        print_combine(state.rom_file, image);
    } else {
        data_bytes = method_char(*head) == '0' ? std::uint64_t{original_size(*head)} : packed_size(*head) + kMemberEndByte;
        if (is_rom_kind(state.code) && (state.code != code::isa || state.isa_segment != 0)) {
            set_type_segment(*head, chosen);
            if (state.code == code::isa) set_type_words(*head, state.isa_segment);
        }
    }
    resum_header(*head);
    const std::span<const std::uint8_t> header = header_in_holder(*head);
    const std::uint64_t extent = std::max<std::uint64_t>(member_span(*head), header.size() + data_bytes);
    if (const std::uint64_t over = shortfall(image, position, extent); over != 0) {
        report_no_room(state, image, over);
        return std::nullopt;
    }
    // Fits: the data, with 0xFF for every byte past the end of the archive.
    std::vector<std::uint8_t> out(header.begin(), header.end());
    const std::vector<std::uint8_t>& archive = member.archive;
    const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(archive.size(), old_header + data_bytes));
    out.insert(out.end(), archive.begin() + static_cast<std::ptrdiff_t>(old_header),
               archive.begin() + static_cast<std::ptrdiff_t>(have));
    out.resize(static_cast<std::size_t>(header.size() + data_bytes), 0xFF);
    return out;
}

// The walk's part of a plan: the replaced members and the free place.
std::optional<AddPlan> plan_walk(RunState& state, BiosImage& image, const PreparedMember& member,
                                 std::uint16_t& chosen) {
    AddPlan plan;
    const ChainWalk walk = walk_image_chain(image);
    if (!walk_members(state, image, member, walk, chosen, plan)) return std::nullopt;
    // A member that runs past the area (into the microcode block or the
    // boot block) is damage as much as bytes that are no member: moving it
    // would carry those bytes along and erase behind it.
    std::optional<std::uint32_t> damage;
    if (walk.end == ChainEnd::NoMember || walk.end == ChainEnd::FileEnd) damage = walk.end_position;
    for (const ChainMember& m : walk.members)
        if (!damage && m.position + member_span(m.header) > chain_space_end(image)) damage = m.position;
    if (damage) {
        console::conf("Damaged component chain at %05Xh: nothing added\n", *damage);
        state.fail(state.code);
        return std::nullopt;
    }
    std::uint64_t removed = 0;
    for (const ChainMember& m : plan.removals) removed += member_span(m.header);
    plan.chain_end = walk.end_position;
    plan.position = static_cast<std::uint32_t>(walk.end_position - removed);
    return plan;
}

}  // namespace

std::optional<AddPlan> plan_add(RunState& state, BiosImage& image, const PreparedMember& member) {
    std::uint16_t chosen = state.type_value;
    std::optional<AddPlan> plan = plan_walk(state, image, member, chosen);
    if (!plan) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> bytes = member_bytes(state, image, member, plan->position, chosen);
    if (!bytes) return std::nullopt;
    plan->bytes = std::move(*bytes);
    return plan;
}

std::optional<AddPlan> plan_top_block(RunState& state, BiosImage& image, std::span<const std::uint8_t> body) {
    std::uint16_t chosen = state.type_value;
    std::optional<AddPlan> plan = plan_walk(state, image, PreparedMember{}, chosen);
    if (!plan) return std::nullopt;
    // The block may take every byte between the chain's end and area_end,
    // the old block's included.
    const std::uint64_t free = plan->position;
    const std::uint64_t end = free + body.size() + kNcpuTrailerSize;
    if (body.size() > kMaxTopBlock || end > image.area_end) {
        report_no_room(state, image, std::max<std::uint64_t>(end > image.area_end ? end - image.area_end : 0,
                                                             body.size() > kMaxTopBlock ? body.size() - kMaxTopBlock : 0));
        return std::nullopt;
    }
    const std::uint32_t start = image.area_end - kNcpuTrailerSize - static_cast<std::uint32_t>(body.size());
    // The area's check bytes may stand in the trailer's last three bytes,
    // which hold zeros only, but nowhere else in the block.
    const std::optional<std::uint32_t> check = check_bytes_position(image);
    const bool check_inside = check && *check + 2 > start && *check < image.area_end;
    if (check_inside && *check + 3 < image.area_end) {
        report_no_room(state, image, *check + 2 - start);
        return std::nullopt;
    }
    // Bytes of an old, longer block below the new one become erased space,
    // so that the chain ends at 0xFF again; none below the chain's end.
    std::uint32_t from = start;
    if (image.ncpu_block)
        from = std::max<std::uint32_t>(static_cast<std::uint32_t>(free), std::min(start, top_block_start(image)));
    plan->bytes.assign(start - from, 0xFF);
    plan->bytes.insert(plan->bytes.end(), body.begin(), body.end());
    std::uint8_t trailer[kNcpuTrailerSize] = {};
    std::copy(kAlin16Text.begin(), kAlin16Text.end(), trailer);
    bytes::put32(trailer + kNcpuLengthAt, static_cast<std::uint32_t>(body.size()));
    std::copy(kNcpuName.begin(), kNcpuName.end(), trailer + kNcpuNameAt);
    plan->bytes.insert(plan->bytes.end(), std::begin(trailer), std::end(trailer));
    if (check_inside) {
        // The check bytes keep their values: the fix-ups carry them forward.
        for (std::uint32_t at = *check; at < *check + 2 && at < image.area_end; ++at)
            plan->bytes[at - from] = image.bytes[at];
    }
    plan->position = from;
    plan->top_block = start;
    return plan;
}
