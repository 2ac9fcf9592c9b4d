// /CALS: the compressed size of a file, without touching the image.
#pragma once

#include "driver/run_state.hpp"

// Compresses state.rom_file into the work archive and prints its size
// ("%s compressed size is ... %.2fK\n" on standard output); the run ends.
// When the writer refuses the file (it names a work file) no size is
// printed and the kind is marked failed.
Outcome run_cals(RunState& state);
