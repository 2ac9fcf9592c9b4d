// /CALS: the compressed size of a file, without touching the image.
#pragma once

#include "driver/run_state.hpp"

// Compresses state.rom_file into the work archive and prints its size.
Outcome run_cals(RunState& state);
