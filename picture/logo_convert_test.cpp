// LogoImage bytes of the logo conversions: the 16-colour planes, the
// reserved entries and the remapping order, and the refusal of bitmaps that
// cannot become a logo.
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "common/console.hpp"
#include "picture/logo.hpp"
#include "picture/logo_testing.hpp"
#include "testkit/linux_only.hpp"

namespace {

using logo_testing::convert_file;
using logo_testing::peer;
using logo_testing::read_with_peer;
using logo_testing::to_bmp_file;

// A 20-pixel-wide 16-colour row is 12 bytes: four planes of 3 bytes, the
// last 4 bits of each plane 0. Pixel indices run 0, 1, 2, ... across rows.
TEST(LogoPlanes, TwentyPixelRowsAreFourPlanesOfThreeBytes) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make4", "src.bmp", "20", "2", "16", "ramp"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Logo, 0, true), LogoColours::Colours16);
    const auto logo = logo_testing::read_logo("logo.bin", 12);
    ASSERT_EQ(logo.data.size(), 8 + 2 * 12 + 4 + 48u);
    EXPECT_EQ(logo.width(), 20);
    EXPECT_EQ(logo.height(), 2);
    // Top row: indices 0..15, 0..3.
    const std::vector<std::uint8_t> top{0x55, 0x55, 0x50, 0x33, 0x33, 0x30, 0x0F, 0x0F, 0x00, 0x00, 0xFF, 0x00};
    // Second row: indices 4..15, 0..7.
    const std::vector<std::uint8_t> second{0x55, 0x55, 0x50, 0x33, 0x33, 0x30, 0xF0, 0xF0, 0xF0, 0x0F, 0xF0, 0x00};
    EXPECT_EQ(std::vector<std::uint8_t>(logo.row(0), logo.row(0) + 12), top);
    EXPECT_EQ(std::vector<std::uint8_t>(logo.row(1), logo.row(1) + 12), second);
    EXPECT_EQ(std::string(logo.row(2), logo.row(2) + 4), "RGB ");
}

// EPA, 16 colours: entry 0 takes the source's first dark colour, 7 grey,
// 9 blue, 15 white; the other colours take free entries in the order the
// pixels use them (bottom row first, left to right).
TEST(LogoReservation, EpaSixteenColoursReserveBlackGreyBlueWhite) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make4", "src.bmp", "12", "1", "12", "ramp", "5"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Epa, 0, false), LogoColours::Colours16);
    const auto logo = logo_testing::read_logo("logo.bin", 8);
    // 16-colour palettes are stored blue, green, red, 0-63.
    auto entry = [&](std::size_t i) {
        const std::uint8_t* e = logo.palette(i);
        return std::vector<int>{e[0], e[1], e[2]};
    };
    EXPECT_EQ(entry(0), (std::vector<int>{10 >> 2, 20 >> 2, 30 >> 2}));
    EXPECT_EQ(entry(7), (std::vector<int>{32, 32, 32}));
    EXPECT_EQ(entry(9), (std::vector<int>{63, 0, 0}));
    EXPECT_EQ(entry(15), (std::vector<int>{63, 63, 63}));

    ASSERT_TRUE(to_bmp_file("logo.bin"));
    const auto back = read_with_peer("logo.bin");
    EXPECT_EQ(back.index, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 0, 6, 8, 10, 11, 12, 13}));
}

TEST(LogoReservation, OptionBitsLeaveEntriesFree) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make4", "src.bmp", "12", "1", "12", "ramp", "5"});
    console::Capture cap;
    const std::uint8_t option = logo_option::kNoGrey | logo_option::kNoWhite | logo_option::kNoBlue;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Epa, option, false), LogoColours::Colours16);
    ASSERT_TRUE(to_bmp_file("logo.bin"));
    const auto back = read_with_peer("logo.bin");
    EXPECT_EQ(back.index, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 0, 6, 7, 8, 9, 10, 11}));

    // Without black either, the dark colour is an ordinary one.
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Epa, option | logo_option::kNoBlack, false),
              LogoColours::Colours16);
    ASSERT_TRUE(to_bmp_file("logo.bin"));
    EXPECT_EQ(read_with_peer("logo.bin").index, (std::vector<std::uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

// 256 light colours beside reserved black: 255 fit, and the colour used
// last (top row, last pixel) overflows to index 0.
TEST(LogoReservation, ColoursBeyondTheFreeEntriesFallToIndexZero) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make8", "src.bmp", "16", "16", "256", "ramp"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Logo, logo_option::kNoGreyWhiteOrStrip, false),
              LogoColours::Colours256);
    const auto logo = logo_testing::read_logo("logo.bin", 640);
    const std::uint8_t* black = logo.palette(0);
    EXPECT_EQ(black[0] | black[1] | black[2], 0);
    // Framed: the picture starts at row 232, column 312.
    for (std::size_t y = 0; y < 16; ++y)
        for (std::size_t x = 0; x < 16; ++x) {
            const std::size_t order = (15 - y) * 16 + x;
            const std::uint8_t want = order < 255 ? static_cast<std::uint8_t>(order + 1) : 0;
            ASSERT_EQ(logo.row(232 + y)[312 + x], want) << x << "," << y;
        }
}

TEST(LogoReservation, DarkSourceColourBecomesEntryZero) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make8", "src.bmp", "8", "2", "50", "ramp", "7"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Logo, 0, false), LogoColours::Colours256);
    const auto logo = logo_testing::read_logo("logo.bin", 640);
    const std::uint8_t* e = logo.palette(0);  // 256-colour palettes: red, green, blue
    EXPECT_EQ((std::vector<int>{e[0], e[1], e[2]}), (std::vector<int>{30 >> 2, 20 >> 2, 10 >> 2}));
    EXPECT_EQ(logo.row(239)[316 + 7], 0);  // source index 7, top row
}

// Refusals: the message, no image and no file written.
struct Refused {
    std::string out, err;
    std::size_t image_size;
};

using Convert = LogoConversion (*)(std::span<const std::uint8_t>, const std::string&);

Refused refuse(Convert convert) {
    console::Capture cap;
    const LogoConversion done = convert(testkit::slurp("src.bmp"), "src.bmp");
    EXPECT_EQ(done.colours, LogoColours::Failed);
    return Refused{cap.out(), cap.err(), done.image.size()};
}

LogoConversion as_logo(std::span<const std::uint8_t> bitmap, const std::string& name) {
    return logo_convert(bitmap, name, LogoMode::Logo, 0, false);
}
LogoConversion as_osb(std::span<const std::uint8_t> bitmap, const std::string& name) {
    return osb_convert(bitmap, name, std::nullopt);
}

TEST(LogoRefusal, TrueColourAndRunLengthBitmapsGetTheDepthMessage) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    const std::string logo_msg = " !! BMP colors not support (Only support 16 & 256 colors) !!\n";
    const std::string osb_msg = " !! Unsupport this color mode in OSB (Only 16 or 256 colors) !!\n";
    peer({"make24", "src.bmp", "8", "8"});
    for (auto convert : {as_logo, as_osb}) {
        const Refused r = refuse(convert);
        EXPECT_EQ(r.out, convert == as_logo ? logo_msg : osb_msg);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.image_size, 0u);
    }
    peer({"makerle", "src.bmp", "20", "3"});
    const Refused r = refuse(as_logo);
    EXPECT_EQ(r.out, logo_msg);
    EXPECT_EQ(r.image_size, 0u);
}

// A valid 33 x 5 bitmap with 40 palette entries, damaged at one field.
class DamagedBitmap : public ::testing::Test {
protected:
    testkit::WorkDir dir;
    std::vector<std::uint8_t> bmp;
    void SetUp() override {
        MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
        peer({"make8", "src.bmp", "33", "5", "40", "random:1"});
        bmp = testkit::slurp("src.bmp");
        ASSERT_EQ(bmp.size(), 54 + 160 + 36 * 5u);
    }
    void expect_refused(const std::string& message) {
        testkit::spit("src.bmp", bmp);
        for (auto convert : {as_logo, as_osb}) {
            const Refused r = refuse(convert);
            EXPECT_EQ(r.err, message);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.image_size, 0u);
        }
    }
};

TEST_F(DamagedBitmap, WidthOrHeightZeroOrNegative) {
    bytes::put32(&bmp[18], 0);
    expect_refused(" !! src.bmp: BMP size 0x5 not supported (1 to 4096 each way) !!\n");
    bytes::put32(&bmp[18], 33);
    bytes::put32(&bmp[22], 0);
    expect_refused(" !! src.bmp: BMP size 33x0 not supported (1 to 4096 each way) !!\n");
    bytes::put32(&bmp[22], static_cast<std::uint32_t>(-5));
    expect_refused(" !! src.bmp: BMP size 33x-5 not supported (1 to 4096 each way) !!\n");
}

// Sizes whose low 16 bits look harmless (1 x 5) but whose product
// overflows 32 bits.
TEST_F(DamagedBitmap, HugeSizesAreRefusedBeforeAnyRead) {
    bytes::put32(&bmp[18], 0x10001);
    bytes::put32(&bmp[22], 0x10005);
    expect_refused(" !! src.bmp: BMP size 65537x65541 not supported (1 to 4096 each way) !!\n");
}

TEST_F(DamagedBitmap, DataOffsetPastTheEnd) {
    bytes::put32(&bmp[10], 0x10000 + 214);
    expect_refused(" !! src.bmp: BMP data offset 65750 past the file's end (394 bytes) !!\n");
}

TEST_F(DamagedBitmap, PaletteShorterThanItsColourCount) {
    bytes::put32(&bmp[46], 0);  // 0 means all 256 colours
    expect_refused(" !! src.bmp: BMP palette holds 40 of its 256 colors !!\n");
}

TEST_F(DamagedBitmap, FileShorterThanItsRows) {
    bmp.resize(bmp.size() - 1);
    expect_refused(" !! src.bmp: BMP file is 393 bytes, its rows need 394 !!\n");
}

TEST_F(DamagedBitmap, NotABitmapAtAll) {
    bmp[0] = 'X';
    expect_refused(" !! src.bmp is not a Windows BMP file !!\n");
    bmp.resize(20);
    expect_refused(" !! src.bmp is not a Windows BMP file !!\n");
}

// A picture whose LogoImage would pass 1 MB of pixels.
TEST(LogoRefusal, PictureTooLargeForABiosLogo) {
    testkit::WorkDir dir;
    const std::uint32_t w = 2048, h = 1024;
    std::vector<std::uint8_t> bmp(54 + 1024 + std::size_t{w} * h, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    bytes::put32(&bmp[10], 54 + 1024);
    bytes::put32(&bmp[14], 40);
    bytes::put32(&bmp[18], w);
    bytes::put32(&bmp[22], h);
    bytes::put16(&bmp[26], 1);
    bytes::put16(&bmp[28], 8);
    testkit::spit("src.bmp", bmp);
    const Refused r = refuse(as_logo);
    EXPECT_EQ(r.err, " !! src.bmp: 2048x1024 needs 2048 KB, a BIOS logo holds 1024 KB !!\n");
    EXPECT_EQ(r.image_size, 0u);
}

// logo_to_bmp refuses bytes that are no LogoImage, and a LogoImage larger
// than it takes (one that just fits, trailing bytes and all, is taken).
TEST(LogoToBmp, RefusesFilesWithoutThePaletteMarker) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    peer({"make8", "src.bmp", "16", "2", "20", "random:1"});
    console::Capture cap;
    ASSERT_EQ(convert_file("src.bmp", "logo.bin", LogoMode::Epa, 0, false), LogoColours::Colours256);
    const auto logo = testkit::slurp("logo.bin");

    auto cut = logo;
    cut.resize(cut.size() - 1);  // palette one byte short
    EXPECT_FALSE(logo_to_bmp(cut, "cut.bin"));

    auto moved = logo;
    bytes::put16(&moved[4], 17);  // width no longer matches the rows
    EXPECT_FALSE(logo_to_bmp(moved, "moved.bin"));

    EXPECT_FALSE(logo_to_bmp({}, "empty.bin"));

    auto big = logo;
    big.resize(kMaxLogoImageBytes);
    EXPECT_TRUE(logo_to_bmp(big, "big.bin"));
    big.push_back(0);
    EXPECT_FALSE(logo_to_bmp(big, "big.bin"));

    EXPECT_EQ(cap.err(),
              " !! cut.bin is not a BIOS logo picture (no palette behind its rows) !!\n"
              " !! moved.bin is not a BIOS logo picture (no palette behind its rows) !!\n"
              " !! empty.bin is not a BIOS logo picture (no palette behind its rows) !!\n"
              " !! Can't read logo file big.bin !!\n");
}

}  // namespace
