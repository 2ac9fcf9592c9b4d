// /CALS: the compressed size of a file, without touching the image.
#pragma once

#include "driver/run_state.hpp"

// Packs state.rom_bytes, keeps the work archive as "bios.rom" and prints its
// size ("%s compressed size is ... %.2fK\n" on standard output); the run
// ends. When the archive cannot be made or kept, no size is printed and the
// kind is marked failed.
Outcome run_cals(RunState& state);
