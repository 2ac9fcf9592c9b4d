// The operations the option loop dispatches a group to. Each takes the
// run's state and the open image and tells the driver how to go on.
#pragma once

#include "driver/run_state.hpp"
#include "image/boot_vga.hpp"
#include "image/memory_module.hpp"
#include "image/release_extract.hpp"
#include "insert/add.hpp"

struct BiosImage;

// /D: the component listing and space report.
Outcome list_components(RunState& state, BiosImage& image);

// /CALS with a RomFile: reports the compressed size; the image is not touched.
Outcome run_cals(RunState& state);

