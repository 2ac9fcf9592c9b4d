// IMAGE /diff OTHER: two images compared component by component (the
// system BIOS, the chain's members, the top block, the boot-block VGA
// slot's member, the memory-module slot), by the rule image/changes gives
// the dry run too: replaced (sizes or the SHA-256 of the content differ),
// moved (same content, another place), added or removed. Bytes outside the
// components that differ are named as the dry run names them. The run's status: 0 the same, 1 they differ, 2 either
// image cannot be read (as diff and cmp); with /json one "image_diff"
// document.
#pragma once

#include "image/group.hpp"

// The operation: the other image is op.group.rom_file.
GroupResult diff_images(const Operand& op);
