// Test helper shared by the release and extract tests: one option group run
// in process on "image.bin" in the current (work) directory.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/console.hpp"
#include "image/release_extract.hpp"
#include "driver/select_kind.hpp"
#include "image/bios_image.hpp"

struct OpResult {
    Outcome outcome = Outcome::NextGroup;
    std::string out, err;
    RunState state;
};

// Runs "image.bin /<c> release|extract" under /err with `input` on standard input.
inline OpResult run_op(OptionCode c, bool extract, const std::string& input = {}, int group_number = 0) {
    OpResult r;
    r.state.input_file = "image.bin";
    r.state.err_mode = true;
    r.state.group_number = group_number;
    EXPECT_TRUE(select_kind(r.state, c));
    std::optional<BiosImage> image = open_image("image.bin").image;
    EXPECT_TRUE(image.has_value());
    if (!image) return r;
    console::Capture cap(input);
    r.outcome = release_or_extract(r.state, *image, extract);
    save_image(*image);  // as the end of the run does
    r.out = cap.out();
    r.err = cap.err();
    return r;
}
