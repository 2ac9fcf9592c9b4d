// Test helper shared by the release and extract tests: one option group run
// in process on "image.bin" in the current (work) directory.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>

#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "image/image_file.hpp"
#include "image/image_writer.hpp"
#include "image/release_extract.hpp"

// What the tests read of a group's result: the kind that failed and the
// fix-ups' mark, as the driver would book them under /err.
struct OpBooks {
    std::set<OptionCode> failed_kinds;
    bool group_failed = false;
};

struct OpResult {
    Outcome outcome = Outcome::NextGroup;
    std::string out, err;
    OpBooks state;
};

// Runs "image.bin /<c> release|extract" with `input` on standard input.
inline OpResult run_op(OptionCode c, bool extract, const std::string& input = {}, int group_number = 0) {
    OpResult r;
    GroupRequest group;
    group.code = kind(c).becomes != 0 ? kind(c).becomes : c;
    group.group_number = group_number;
    group.type_value = kind(c).type_source == TypeSource::GroupNumber
                           ? static_cast<std::uint16_t>(kGroupSlots.base + group_number)
                           : kind(group.code).type_value;
    std::optional<BiosImage> image = open_image("image.bin").image;
    EXPECT_TRUE(image.has_value());
    if (!image) return r;
    console::Capture cap(input);
    ImageWriter writer(*image);
    const GroupResult result = release_or_extract(group, writer, extract);
    save_image(*image);  // as the end of the run does
    if (result.failed) r.state.failed_kinds.insert(*result.failed);
    r.state.group_failed = result.fixup_mark;
    r.outcome = result.next;
    r.out = cap.out();
    r.err = cap.err();
    return r;
}
