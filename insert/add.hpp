// Adding one component to the image: the option group "/kind RomFile", or a
// lone switch whose kind has a default file. The stages, in order:
//   prepare   (prepare.hpp)    the file into a one-member archive; work files only
//   check     (rom_checks.hpp) option ROMs: signature, ISA sum
//   plan      (placement.hpp)  one walk: replacements, slot, free place, space
//   commit    (here)           the replaced members taken out, the new one written
// Nothing is written to the image unless the plan says the add succeeds, so
// a failed add leaves the image byte-identical.
#pragma once

#include "driver/run_state.hpp"

class File;
struct BiosImage;

// `rom` is the RomFile, open for reading (state.rom_file names it), or null
// for a lone switch. Failures found while the file is opened, checked or
// converted end the run; failures from the walk on end only the group.
Outcome add_component(RunState& state, BiosImage& image, File* rom);
