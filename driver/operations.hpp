// The operations the option loop dispatches a group to. Each takes the
// run's state and the open image and tells the driver how to go on.
#pragma once

#include "driver/run_state.hpp"
#include "image/release_extract.hpp"
#include "insert/add.hpp"

struct BiosImage;

// /D: the component listing and space report.
Outcome list_components(RunState& state, BiosImage& image);

// /btvga: a VGA ROM placed in the boot block.
Outcome add_boot_block_vga(RunState& state, BiosImage& image);

// /NVMM: the memory-module file written into its slot.
Outcome add_memory_module(RunState& state, BiosImage& image);

// /NC_CPUCODE with a file: the uncompressed microcode block below the area's end.
Outcome add_top_microcode(RunState& state, BiosImage& image);

// /CALS with a RomFile: reports the compressed size; the image is not touched.
Outcome run_cals(RunState& state);

