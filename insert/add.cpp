// add_component: the stages in order, and the one commit at the end.
#include "insert/add.hpp"

#include <algorithm>

#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "insert/placement.hpp"
#include "insert/prepare.hpp"
#include "insert/rom_checks.hpp"

namespace {

// Writes the plan: the replaced members go, last first, so that each
// position of the plan still holds its member; then the new member.
void commit(RunState& state, BiosImage& image, const AddPlan& plan) {
    for (auto m = plan.removals.rbegin(); m != plan.removals.rend(); ++m)
        remove_from_image(image, m->position, static_cast<std::uint32_t>(member_span(m->header)), plan.chain_end);
    write_image(image, plan.position, plan.bytes);
    finish_image_writes(image);
    state.image_changed = true;
}

}  // namespace

Outcome add_component(RunState& state, BiosImage& image, File* rom) {
    const Preparation p = rom ? prepare_rom_file(state, image, *rom) : prepare_default(state, image);
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
