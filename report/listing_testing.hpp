// Test helper shared by the listing tests: an image listed in process.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "report/listing.hpp"
#include "testkit/image_builder.hpp"

struct Listing {
    std::string out, err;
};

// Saves `image` as img.bin in the current (work) directory and lists it in process.
inline Listing list_image(const testkit::SyntheticImage& image) {
    image.save("img.bin");
    std::optional<BiosImage> opened = open_image("img.bin").image;
    EXPECT_TRUE(opened.has_value());
    if (!opened) return {};
    ImageWriter writer(*opened);
    GroupRequest group;
    RomSlots slots;
    console::Capture cap;
    EXPECT_EQ(list_components(Operand{group, writer, slots}).next, Outcome::NextGroup);
    return {cap.out(), cap.err()};
}
