// The operations the option loop dispatches a group to. Each takes the
// run's state and the open image and tells the driver how to go on.
#pragma once

#include "driver/run_state.hpp"
#include "image/release_extract.hpp"

struct BiosImage;
class File;

// /D: the component listing and space report.
Outcome list_components(RunState& state, BiosImage& image);

// A switch with a RomFile (`rom` open for reading), or a lone switch of a
// kind that has a default file (`rom` null): prepares, packs and places it.
Outcome add_component(RunState& state, BiosImage& image, File* rom);

// /btvga: a VGA ROM placed in the boot block.
Outcome add_boot_block_vga(RunState& state, BiosImage& image);

// /NVMM: the memory-module file written into its slot.
Outcome add_memory_module(RunState& state, BiosImage& image);

// /CALS with a RomFile: reports the compressed size; the image is not touched.
Outcome run_cals(RunState& state);

// After a run that used a component file: the free-space pointer, check
// bytes and file sums of the image at `path` brought up to date.
void close_image_bookkeeping(RunState& state, const std::string& path);
