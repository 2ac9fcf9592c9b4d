// add_component: the stages in order, and the one commit at the end.
#include "insert/add.hpp"

#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "image/records.hpp"
#include "image/release_extract.hpp"
#include "image/work_files.hpp"
#include "insert/executable.hpp"
#include "insert/placement.hpp"
#include "insert/prepare.hpp"
#include "insert/rom_checks.hpp"

namespace {

// Writes the plan: the replaced members go, last first, so that each
// position of the plan still holds its member; then the new member. An add
// changes the chain only; a top block also the bytes up to area_end, and
// the fix-ups then point "*BS1" at it (the writer's layout shows it to the
// later groups).
GroupResult commit(ImageWriter& writer, const AddPlan& plan) {
    {
        WriteScope scope(writer, {plan.top_block ? Region::ChainAndTop : Region::Chain});
        for (auto m = plan.removals.rbegin(); m != plan.removals.rend(); ++m)
            scope.remove(m->position, static_cast<std::uint32_t>(member_span(m->header)), plan.chain_end);
        scope.write(plan.position, plan.bytes);
    }
    if (plan.top_block) writer.place_top_block(*plan.top_block);
    return image_changed();
}

GroupResult commit_or_refuse(ImageWriter& writer, const Planned& planned) {
    return planned.plan ? commit(writer, *planned.plan) : planned.refusal;
}

// The segment of the slot "slot=X" names; nothing without the word. False
// (said) when the word names no slot of the kind.
bool pinned_slot(const GroupRequest& group, std::optional<std::uint16_t>& segment) {
    segment = group.slot_segment;
    if (!group.slot_word) return true;
    const std::string& word = *group.slot_word;
    const SlotFamily* family = group.row().family;  // the driver refused slot= for kinds without slots
    const std::string sw(group.row().switch_text);
    const std::optional<int> index = word.size() == 1 ? slot_for_answer(group.code, word[0]) : std::nullopt;
    if (!family || !index || *index >= family->count) {
        console::conf("slot=%s names no slot of %s; nothing is added.\n", word.c_str(), sw.c_str());
        return false;
    }
    segment = static_cast<std::uint16_t>(family->base + *index);
    return true;
}

}  // namespace

GroupResult add_top_microcode(const Operand& op) {
    const GroupRequest& group = op.group;
    const BiosImage& image = op.image.image();
    std::vector<std::uint8_t> body;
    if (!group.rom_bytes.empty()) {
        // Only an executable gives a body; any other file leaves it empty.
        body = executable_body(group.rom_bytes).value_or(std::vector<std::uint8_t>{});
        const Kept kept = keep_group_file(group, work_file::kTopMicrocode, body);
        if (kept != Kept::Yes) {
            GroupResult r = kind_failed(group.code);
            r.write_failed = kept == Kept::WriteFailed;
            return r;
        }
    } else {
        drop_group_file(group, work_file::kTopMicrocode);
    }
    print_combine(work_file::kTopMicrocode, image);
    return place_top_block(op, body);
}

GroupResult place_top_block(const Operand& op, std::span<const std::uint8_t> body) {
    return commit_or_refuse(op.image, plan_top_block(op.group, op.slots, op.image.image(), body));
}

GroupResult add_component(const Operand& op) {
    const GroupRequest& group = op.group;
    const BiosImage& image = op.image.image();
    std::optional<std::uint16_t> pinned;
    if (!pinned_slot(group, pinned)) return kind_failed(group.code);
    const Preparation p = group.rom_file.empty() ? prepare_default(group, image) : prepare_rom_file(group, image);
    GroupResult failed = kind_failed(group.code);
    failed.write_failed = p.write_failed;
    switch (p.status) {
    case Prepared::Ready: break;
    case Prepared::Nothing: return {};
    case Prepared::GroupFailed: return failed;
    case Prepared::RunFailed: failed.next = Outcome::EndOfRun; return failed;
    }
    if (is_rom_kind(group.code) && !check_option_rom(group.code, p.member.rom, group.rom_file))
        return kind_failed(group.code, Outcome::EndOfRun);
    return commit_or_refuse(op.image, plan_add(group, op.slots, image, p.member, pinned));
}
