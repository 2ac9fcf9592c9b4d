// IMAGE /diff OTHER: two images compared component by component. The
// components (the system BIOS, the chain's members, the top block, the
// boot-block VGA slot's member, the memory-module slot) are matched by
// place and TypeId (kind and slot) and stored name, then by place and
// TypeId alone; each pair is the same, changed (sizes or the SHA-256 of the
// content) or moved (same content, another place); the rest were added or
// removed. Bytes outside the components that differ are named as the dry
// run names them. The run's status: 0 the same, 1 they differ, 2 either
// image cannot be read (as diff and cmp); with /json one "image_diff"
// document.
#pragma once

#include "image/group.hpp"

// The operation: the other image is op.group.rom_file.
GroupResult diff_images(const Operand& op);
