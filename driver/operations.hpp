// What a group is dispatched to: one table, keyed by the group's action,
// which the catalogue row and the group's form give. Every operation has
// the one shape GroupResult (*)(const Operand&); the table also says what
// the driver checks before it: whether the operation may change the image
// (refused for a read-only image or one that is no BIOS image), whether it
// needs a BIOS image to read, and whether the run's fix-ups come first (a
// report of the image as the run will leave it).
#pragma once

#include <array>
#include <cstdint>

#include "common/catalogue.hpp"
#include "image/group.hpp"

// How the group stands on the command line.
enum class GroupForm { Lone, RomFile, Release, Extract };

enum class Action : std::uint8_t {
    List,
    Verify,
    Report,
    SizeReport,
    Add,
    AddTopBlock,
    AddBootRoom,
    AddMemorySlot,
    Release,
    Extract,
    Unpack,
    Diff,  // the folder words /unpack and /diff, which are no kinds
};
inline constexpr std::size_t kActions = static_cast<std::size_t>(Action::Diff) + 1;

struct OperationRow {
    OperationFn run = nullptr;
    bool changes_image = false;  // refused for a read-only image or one that is no BIOS image
    bool needs_bios = false;     // reads a BIOS image: "%s is no BIOS image: %s" otherwise, the kind fails
    bool fixups_first = false;   // the run's fix-ups before it, when the image changed
};

// The action of a group of the kind `row` standing as `form`.
Action action_of(const ComponentKind& row, GroupForm form);

// The operation of an action.
const OperationRow& operation(Action action);
