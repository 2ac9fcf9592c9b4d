// /verify: whether an image is whole before it goes to the flash programmer.
// One line per finding on standard output: each member (the system BIOS,
// the chain, the "*BT-VGA*" slot) with its header sum and the CRC-16 of its
// data after a full expansion in memory; where and how the chain ends; the
// top microcode block and the "*BS1" pointer; the area's check byte and the
// file sums against what the closing fix-ups write; then the counts.
// Changes nothing and writes no work file.
#pragma once

#include "image/group.hpp"

// Returns the problems found (the run then ends with status 1). Always goes
// on with the next group.
GroupResult verify_image(const Operand& op);
