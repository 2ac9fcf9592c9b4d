// The dispatch table of the option loop.
#include "driver/operations.hpp"

#include "common/fatal.hpp"
#include "driver/cals.hpp"
#include "folder/unpack.hpp"
#include "image/release_extract.hpp"
#include "insert/add.hpp"
#include "insert/boot_block_add.hpp"
#include "report/diff.hpp"
#include "report/listing.hpp"
#include "report/report.hpp"
#include "report/verify.hpp"

namespace {

constexpr std::array<OperationRow, kActions> kOperations = [] {
    std::array<OperationRow, kActions> t{};
    auto at = [&t](Action a) -> OperationRow& { return t[static_cast<std::size_t>(a)]; };
    at(Action::List) = {list_components, false, true, false};
    at(Action::Verify) = {verify_image, false, false, true};
    at(Action::Report) = {report_image, false, false, true};
    at(Action::SizeReport) = {run_cals, false, false, false};
    at(Action::Add) = {add_component, true, false, false};
    at(Action::AddTopBlock) = {add_top_microcode, true, false, false};
    at(Action::AddBootRoom) = {add_boot_block_vga, true, false, false};
    at(Action::AddMemorySlot) = {add_memory_module, true, false, false};
    at(Action::Release) = {release_group, true, false, false};
    at(Action::Extract) = {extract_group, false, true, false};
    at(Action::Unpack) = {unpack_image, false, false, false};
    at(Action::Diff) = {diff_images, false, false, false};
    return t;
}();

}  // namespace

Action action_of(const ComponentKind& row, GroupForm form) {
    switch (form) {
    case GroupForm::Release: return Action::Release;
    case GroupForm::Extract: return Action::Extract;
    case GroupForm::Lone:
    case GroupForm::RomFile: break;
    }
    switch (row.operation) {
    case Operation::List: return Action::List;
    case Operation::Verify: return Action::Verify;
    case Operation::Report: return Action::Report;
    // A lone /CALS has no file to size: it is taken as an add of its kind.
    case Operation::SizeReport:
        if (form == GroupForm::RomFile) return Action::SizeReport;
        break;
    case Operation::None:
    case Operation::Add: break;
    }
    switch (row.placement) {
    case Placement::BootRoom: return Action::AddBootRoom;
    case Placement::MemorySlot: return Action::AddMemorySlot;
    // A lone /NC_CPUCODE adds the kind's chain member.
    case Placement::TopBlock: return form == GroupForm::RomFile ? Action::AddTopBlock : Action::Add;
    case Placement::Chain:
    case Placement::RomSlots: break;
    }
    return Action::Add;
}

const OperationRow& operation(Action action) {
    const OperationRow& row = kOperations[static_cast<std::size_t>(action)];
    if (row.run == nullptr) fatal("Internal error: an action without an operation");
    return row;
}
