// The operations the option loop dispatches a group to: the driver's own
// (the listing, /CALS, /verify) take the run's state; those of image/ and
// insert/ take the group and return what they did.
#pragma once

#include "driver/cals.hpp"
#include "driver/run_state.hpp"
#include "driver/verify.hpp"
#include "image/boot_vga.hpp"
#include "image/memory_module.hpp"
#include "image/release_extract.hpp"
#include "insert/add.hpp"

struct BiosImage;

// /D: the component listing and space report.
Outcome list_components(RunState& state, BiosImage& image);

