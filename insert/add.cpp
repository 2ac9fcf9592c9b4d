// add_component: the stages in order, and the one commit at the end.
#include "insert/add.hpp"


#include "archive/work_files.hpp"
#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "image/records.hpp"
#include "insert/executable.hpp"
#include "insert/placement.hpp"
#include "insert/prepare.hpp"
#include "insert/rom_checks.hpp"

namespace {

// Writes the plan: the replaced members go, last first, so that each
// position of the plan still holds its member; then the new member. An add
// changes the chain only; a top block also the bytes up to area_end.
GroupResult commit(BiosImage& image, const AddPlan& plan) {
    {
        WriteScope scope(image, {plan.top_block ? ByteRange{image.chain_start, image.area_end} : chain_range(image)});
        for (auto m = plan.removals.rbegin(); m != plan.removals.rend(); ++m)
            remove_from_image(image, m->position, static_cast<std::uint32_t>(member_span(m->header)), plan.chain_end);
        write_image(image, plan.position, plan.bytes);
    }
    if (plan.top_block) {
        // Later groups of the run see the new block; the fix-ups write its
        // start into the "*BS1" record.
        image.ncpu_block = true;
        image.ncpu_size = image.area_end - kNcpuTrailerSize - *plan.top_block;
        image.free_pointer = *plan.top_block;
        image.bs1_present = true;
        image.free_pointer_moved = true;
    }
    return image_changed();
}

GroupResult commit_or_refuse(BiosImage& image, const Planned& planned) {
    return planned.plan ? commit(image, *planned.plan) : planned.refusal;
}

}  // namespace

GroupResult add_top_microcode(const GroupRequest& group, RomSlots& slots, BiosImage& image) {
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
    return commit_or_refuse(image, plan_top_block(group, slots, image, body));
}

GroupResult add_component(const GroupRequest& group, RomSlots& slots, BiosImage& image) {
    const Preparation p = group.rom_file.empty() ? prepare_default(group, image) : prepare_rom_file(group, image);
    GroupResult failed = kind_failed(group.code);
    failed.write_failed = p.write_failed;
    switch (p.status) {
    case Prepared::Ready: break;
    case Prepared::Nothing: return {};
    case Prepared::GroupFailed: return failed;
    case Prepared::RunFailed:
        failed.next = Outcome::EndOfRun;
        return failed;
    }
    if (is_rom_kind(group.code) && !check_option_rom(group.code, p.member.rom, group.rom_file))
        return kind_failed(group.code, Outcome::EndOfRun);
    return commit_or_refuse(image, plan_add(group, slots, image, p.member));
}
