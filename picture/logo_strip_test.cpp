// The built-in strip's stored runs.
#include "picture/logo_strip.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The runs fill the 640 x 16 area exactly (none cut off, none missing) and
// draw in indices 0 and 1 only, with text in index 1 on a background of 0.
TEST(LogoStrip, RunsFillTheAreaExactlyInTwoIndices) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < logo_strip::kRuns.size(); i += 2) {
        EXPECT_LE(logo_strip::kRuns[i], 1) << "pair " << i / 2;
        EXPECT_GT(logo_strip::kRuns[i + 1], 0) << "pair " << i / 2;
        total += logo_strip::kRuns[i + 1];
    }
    EXPECT_EQ(total, logo_strip::kBytes);

    const auto strip = logo_strip::expand();
    const auto ones = std::count(strip.begin(), strip.end(), 1);
    EXPECT_GT(ones, 0);
    EXPECT_LT(ones, static_cast<long>(logo_strip::kBytes / 4));
    // The top and bottom rows are background, framing the line of text.
    EXPECT_TRUE(std::all_of(strip.begin(), strip.begin() + 640, [](auto v) { return v == 0; }));
    EXPECT_TRUE(std::all_of(strip.end() - 640, strip.end(), [](auto v) { return v == 0; }));
}

}  // namespace
