// /CALS: the compressed size of a file, without touching the image.
#pragma once

#include "image/group.hpp"

// Packs the group's RomFile, keeps the work archive as "bios.rom" and
// prints its size ("%s compressed size is ... %.2fK\n" on standard
// output); the run ends. When the archive cannot be made or kept, no size
// is printed and the kind fails.
GroupResult run_cals(const Operand& op);
