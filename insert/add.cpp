// add_component: the stages in order, and the one commit at the end.
#include "insert/add.hpp"

#include <cstdio>

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
void commit(RunState& state, BiosImage& image, const AddPlan& plan) {
    WriteScope scope(image, {plan.top_block ? ByteRange{image.chain_start, image.area_end} : chain_range(image)});
    for (auto m = plan.removals.rbegin(); m != plan.removals.rend(); ++m)
        remove_from_image(image, m->position, static_cast<std::uint32_t>(member_span(m->header)), plan.chain_end);
    write_image(image, plan.position, plan.bytes);
    state.image_changed = true;
    if (plan.top_block) {
        // Later groups of the run see the new block; the fix-ups write its
        // start into the "*BS1" record.
        image.ncpu_block = true;
        image.ncpu_size = image.area_end - kNcpuTrailerSize - *plan.top_block;
        image.free_pointer = *plan.top_block;
        image.bs1_present = true;
        image.free_pointer_moved = true;
    }
}

}  // namespace

Outcome add_top_microcode(RunState& state, BiosImage& image) {
    std::vector<std::uint8_t> body;
    if (!state.rom_bytes.empty()) {
        // Only an executable gives a body; any other file leaves it empty.
        body = executable_body(state.rom_bytes).value_or(std::vector<std::uint8_t>{});
        if (!keep_group_file(state, work_file::kTopMicrocode, body)) {
            state.fail(state.code);
            return Outcome::NextGroup;
        }
    } else {
        std::remove(work_file::kTopMicrocode);
    }
    print_combine(work_file::kTopMicrocode, image);
    std::optional<AddPlan> plan = plan_top_block(state, image, body);
    if (plan) commit(state, image, *plan);
    return Outcome::NextGroup;
}

Outcome add_component(RunState& state, BiosImage& image, bool rom) {
    const Preparation p = rom ? prepare_rom_file(state, image) : prepare_default(state, image);
    switch (p.status) {
    case Prepared::Ready: break;
    case Prepared::Nothing:
    case Prepared::GroupFailed: return Outcome::NextGroup;
    case Prepared::RunFailed: return Outcome::EndOfRun;
    }
    if (is_rom_kind(state.code) && !check_option_rom(state.code, p.member.rom, state.rom_file)) {
        state.fail(state.code);
        return Outcome::EndOfRun;
    }
    std::optional<AddPlan> plan = plan_add(state, image, p.member);
    if (plan) commit(state, image, *plan);
    return Outcome::NextGroup;
}
