// Round trips through an independent bitmap library: bitmaps written by PIL
// are converted to LogoImages, turned back with logo_to_bmp, and read by PIL
// (each step from file to file through the helpers of logo_testing.hpp).
#include "picture/logo.hpp"

#include <gtest/gtest.h>

#include <string>

#include "common/console.hpp"
#include "picture/logo_strip.hpp"
#include "picture/logo_testing.hpp"
#include "testkit/linux_only.hpp"

namespace {

using logo_testing::convert_file;
using logo_testing::osb_file;
using logo_testing::peer;
using logo_testing::PeerPicture;
using logo_testing::read_with_peer;
using logo_testing::to_bmp_file;

// Every pixel of `src` equals the pixel of `back` at (x + dx, y + dy), each
// value rounded down to a multiple of 4 (the LogoImage keeps 6 bits).
void expect_same_picture(const PeerPicture& src, const PeerPicture& back, int dx = 0, int dy = 0) {
    int wrong = 0;
    for (int y = 0; y < src.height; ++y)
        for (int x = 0; x < src.width; ++x)
            for (int c = 0; c < 3; ++c)
                if ((src.pixel(x, y)[c] & 0xFC) != back.pixel(x + dx, y + dy)[c] && ++wrong < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": " << int(src.pixel(x, y)[c])
                                  << " came back as " << int(back.pixel(x + dx, y + dy)[c]);
    EXPECT_EQ(wrong, 0);
}

// The header of a bitmap written by logo_to_bmp agrees with what it holds.
void expect_consistent_bitmap(const std::string& path, int bits) {
    const auto data = testkit::slurp(path);
    ASSERT_GE(data.size(), 54u);
    const std::uint32_t w = bytes::le32(&data[18]), h = bytes::le32(&data[22]);
    const std::size_t stride = ((w * bits + 31) / 32) * 4;
    const std::size_t palette = (std::size_t{1} << bits) * 4;
    EXPECT_EQ(bytes::le32(&data[2]), data.size());
    EXPECT_EQ(bytes::le32(&data[10]), 54 + palette);
    EXPECT_EQ(bytes::le16(&data[28]), bits);
    EXPECT_EQ(bytes::le32(&data[34]), stride * h);
    EXPECT_EQ(data.size(), 54 + palette + stride * h);
}

struct Shape {
    int width, height, colours;
};

std::string shape_name(const ::testing::TestParamInfo<Shape>& info) {
    return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
}

class RoundTrip256 : public ::testing::TestWithParam<Shape> {};

// 256 colours, EPA conversion (no frame): widths that are and are not a
// multiple of 8; PIL stores as many palette entries as the picture has.
TEST_P(RoundTrip256, PicturesComeBackThroughThePalette) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    const Shape s = GetParam();
    testkit::WorkDir dir;
    peer(
        {"make8", "src.bmp", std::to_string(s.width), std::to_string(s.height), std::to_string(s.colours), "random:5"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Epa, 0, false), LogoColours::Colours256);
    ASSERT_TRUE(to_bmp_file("logo.bin"));
    EXPECT_EQ(cap.out(), "");
    EXPECT_EQ(cap.err(), "");

    const auto src = read_with_peer("src.bmp");
    const auto back = read_with_peer("logo.bin");
    ASSERT_EQ(back.width, s.width);
    ASSERT_EQ(back.height, s.height);
    EXPECT_EQ(back.mode, "P");
    expect_same_picture(src, back);
    expect_consistent_bitmap("logo.bin", 8);
}

INSTANTIATE_TEST_SUITE_P(Widths, RoundTrip256,
                         ::testing::Values(Shape{20, 7, 200}, Shape{33, 5, 40}, Shape{321, 3, 250},
                                           Shape{64, 4, 256 - 3}),
                         shape_name);

class RoundTrip16 : public ::testing::TestWithParam<Shape> {};

// 16 colours, EPA conversion: black, grey, blue and white are reserved, so
// a picture of 12 other colours keeps every colour. The source rows carry
// junk in their padding and spare nibbles, which must not show.
TEST_P(RoundTrip16, PicturesComeBackThroughThePalette) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    const Shape s = GetParam();
    testkit::WorkDir dir;
    peer(
        {"make4", "src.bmp", std::to_string(s.width), std::to_string(s.height), std::to_string(s.colours), "random:9"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Epa, 0, false), LogoColours::Colours16);
    ASSERT_TRUE(to_bmp_file("logo.bin"));
    EXPECT_EQ(cap.err(), "");

    const auto src = read_with_peer("src.bmp");
    const auto back = read_with_peer("logo.bin");
    ASSERT_EQ(back.width, s.width);
    ASSERT_EQ(back.height, s.height);
    expect_same_picture(src, back);
    expect_consistent_bitmap("logo.bin", 4);
}

INSTANTIATE_TEST_SUITE_P(Widths, RoundTrip16,
                         ::testing::Values(Shape{20, 6, 12}, Shape{33, 5, 12}, Shape{321, 3, 12}, Shape{1, 2, 12}),
                         shape_name);

// With "noreserve" the palette and the indices are the source's own.
TEST(LogoNoReserve, KeepsTheSourcePaletteAndIndices) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make8", "src.bmp", "33", "4", "256", "random:2"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Epa, 0, true), LogoColours::Colours256);
    ASSERT_TRUE(to_bmp_file("logo.bin"));
    const auto src = read_with_peer("src.bmp");
    const auto back = read_with_peer("logo.bin");
    EXPECT_EQ(back.index, src.index);
    expect_same_picture(src, back);
}

// A 320 x 200 boot logo is framed to 640 x 480 and centred: 140 blank rows
// above and below, 160 blank columns each side, the strip in the last 16 rows.
TEST(LogoFrame, SmallLogoIsCentredInTheScreenWithTheStrip) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make8", "src.bmp", "320", "200", "100", "random:4"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Logo, 0, false), LogoColours::Colours256);

    const auto logo = logo_testing::read_logo("logo.bin", 640);
    ASSERT_EQ(logo.data.size(), 8 + 640 * 480 + 4 + 768u);
    EXPECT_EQ(std::string(logo.data.begin(), logo.data.begin() + 4), "KRBM");
    EXPECT_EQ(logo.width(), 640);
    EXPECT_EQ(logo.height(), 480);
    const auto strip = logo_strip::expand();
    for (std::size_t y = 0; y < 480; ++y) {
        const std::uint8_t* row = logo.row(y);
        const bool picture = y >= 140 && y < 340;
        for (std::size_t x = 0; x < 640; ++x) {
            const bool inside = picture && x >= 160 && x < 480;
            if (y >= 464) {
                ASSERT_EQ(row[x], strip[(y - 464) * 640 + x]) << x << "," << y;
            } else if (!inside) {
                ASSERT_EQ(row[x], 0) << x << "," << y;
            }
        }
    }

    // Through PIL: the picture sits at (160, 140) of a 640 x 480 bitmap.
    ASSERT_TRUE(to_bmp_file("logo.bin"));
    const auto src = read_with_peer("src.bmp");
    const auto back = read_with_peer("logo.bin");
    ASSERT_EQ(back.width, 640);
    ASSERT_EQ(back.height, 480);
    expect_same_picture(src, back, 160, 140);
}

TEST(LogoFrame, NoStripWithBitZeroOfThePaletteOption) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make8", "src.bmp", "320", "200", "100", "random:4"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Logo, logo_option::kNoGreyWhiteOrStrip, false),
              LogoColours::Colours256);
    const auto logo = logo_testing::read_logo("logo.bin", 640);
    for (std::size_t y = 340; y < 480; ++y)
        for (std::size_t x = 0; x < 640; ++x) ASSERT_EQ(logo.row(y)[x], 0) << x << "," << y;
}

// An odd 640 - width: the right margin takes the extra byte and every framed
// row is 640 bytes, so the picture is not sheared.
TEST(LogoFrame, OddMarginsGiveTheRightSideTheExtraByte) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make8", "src.bmp", "321", "5", "60", "random:6"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Logo, logo_option::kNoGreyWhiteOrStrip, false),
              LogoColours::Colours256);
    EXPECT_EQ(testkit::slurp("logo.bin").size(), 8 + 640 * 480 + 4 + 768u);
    ASSERT_TRUE(to_bmp_file("logo.bin"));
    const auto src = read_with_peer("src.bmp");
    const auto back = read_with_peer("logo.bin");
    ASSERT_EQ(back.width, 640);
    expect_same_picture(src, back, 159, 237);
}

// Taller than the screen and narrower: every row is kept, top to bottom,
// centred across 640 columns; the strip covers its last 16 rows.
TEST(LogoFrame, TallNarrowLogoKeepsAllRowsCentredAcross) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make8", "src.bmp", "101", "500", "30", "random:8"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Logo, 0, false), LogoColours::Colours256);
    ASSERT_TRUE(to_bmp_file("logo.bin"));
    const auto src = read_with_peer("src.bmp");
    auto back = read_with_peer("logo.bin");
    ASSERT_EQ(back.width, 640);
    ASSERT_EQ(back.height, 500);
    PeerPicture top = src;
    top.height = 484;  // above the strip
    expect_same_picture(top, back, 269, 0);
}

// Wider than the screen and shorter: centred down only; the strip takes the
// first 640 bytes of each of the last 16 rows, not a shear across them.
TEST(LogoFrame, WideShortLogoIsCentredDownWithTheStripRowByRow) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make8", "src.bmp", "650", "10", "30", "random:2"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Logo, 0, false), LogoColours::Colours256);
    const auto logo = logo_testing::read_logo("logo.bin", 656);
    EXPECT_EQ(logo.width(), 650);
    EXPECT_EQ(logo.height(), 480);
    const auto strip = logo_strip::expand();
    for (std::size_t y = 464; y < 480; ++y)
        for (std::size_t x = 0; x < 656; ++x)
            ASSERT_EQ(logo.row(y)[x], x < 640 ? strip[(y - 464) * 640 + x] : 0) << x << "," << y;

    ASSERT_TRUE(to_bmp_file("logo.bin"));
    expect_same_picture(read_with_peer("src.bmp"), read_with_peer("logo.bin"), 0, 235);
}

// OSB pictures keep their size and palette; 256-colour rows are the width
// itself, and the screen position stands in place of "KRBM".
TEST(OsbConvert, KeepsSizeIndicesAndPosition) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make8", "src.bmp", "33", "3", "256", "random:1"});
    console::Capture cap;
    ASSERT_EQ(osb_file("src.bmp", "osb.bin", OsbPosition{100, 200}), LogoColours::Colours256);
    const auto logo = logo_testing::read_logo("osb.bin", 33);
    EXPECT_EQ(bytes::le16(&logo.data[0]), 100);
    EXPECT_EQ(bytes::le16(&logo.data[2]), 200);
    EXPECT_EQ(logo.data.size(), 8 + 33 * 3 + 4 + 768u);
    const auto src = read_with_peer("src.bmp");
    for (std::size_t y = 0; y < 3; ++y)
        for (std::size_t x = 0; x < 33; ++x) ASSERT_EQ(logo.row(y)[x], src.index[y * 33 + x]);

    ASSERT_TRUE(to_bmp_file("osb.bin"));
    const auto back = read_with_peer("osb.bin");
    EXPECT_EQ(back.index, src.index);
    expect_same_picture(src, back);
}

TEST(OsbConvert, SixteenColoursWithoutPositionRoundTrip) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make4", "src.bmp", "20", "4", "16", "random:3"});
    console::Capture cap;
    ASSERT_EQ(osb_file("src.bmp", "osb.bin", std::nullopt), LogoColours::Colours16);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(testkit::slurp("osb.bin").data()), 4), "KRBM");
    ASSERT_TRUE(to_bmp_file("osb.bin"));
    const auto src = read_with_peer("src.bmp");
    const auto back = read_with_peer("osb.bin");
    EXPECT_EQ(back.index, src.index);
    expect_same_picture(src, back);
}

}  // namespace
