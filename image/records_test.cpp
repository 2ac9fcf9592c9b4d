// Marker searches: the 16-byte boot-block records, "*BS1", "*ALIN16*", sizes.
#include "image/records.hpp"

#include <gtest/gtest.h>

#include "testkit/image_builder.hpp"

using testkit::KB;
using testkit::SyntheticImage;

TEST(ParagraphMarker, FoundOnlyAtSixteenByteSteps) {
    SyntheticImage img(256 * KB);
    img.put_slot_record(3, "*BT-VGA*", 0x8000, 0xA000);
    img.put_text(img.top_base() + 16 * 5 + 8, "*NVDAMM*");  // 8 bytes off a step
    img.put_record16(7, "*nvdamm*");                        // other case
    img.put_text(img.top_base() + 16 * 10 + 15, "BtBk");    // a first byte off a step...
    img.put_record16(12, "BtBkVgaRom");                     // ...does not hide the record behind it
    auto f = img.bytes;
    EXPECT_EQ(paragraph_record_end(f, img.top_base(), "BtBkVgaRom"), 16u * 13);
    EXPECT_EQ(paragraph_record_end(f, img.top_base(), "*BT-VGA*"), 64u);
    EXPECT_EQ(paragraph_record_end(f, img.top_base(), "*NVDAMM*"), std::nullopt);
    // From a start 8 bytes further the off-step record is on the step.
    EXPECT_EQ(paragraph_record_end(f, img.top_base() + 8, "*NVDAMM*"), 96u);
}

TEST(ParagraphMarker, SearchRangeEndsAt0x1E000) {
    SyntheticImage img(256 * KB);
    img.put_record16(0x1E000 / 16 - 1, "BtBkVgaRom");  // last record of the range
    img.put_record16(0x1E000 / 16, "*NVDAMM*");        // first record beyond it
    auto f = img.bytes;
    EXPECT_EQ(paragraph_record_end(f, img.top_base(), "BtBkVgaRom"), std::nullopt);
    EXPECT_EQ(paragraph_record_end(f, img.top_base(), "*NVDAMM*"), std::nullopt);
    // Found in the last record of the range: the same value as "not found".
    EXPECT_EQ(paragraph_record_end(f, img.top_base() + 16, "*NVDAMM*"), std::nullopt);
    EXPECT_EQ(paragraph_record_end(f, img.top_base() + 32, "*NVDAMM*"), 0x1DFF0u);
}

TEST(ParagraphMarker, CheckFlagTestsTheBytesAfterTheRecord) {
    SyntheticImage img(256 * KB);
    img.put_record16(2, "BtBkVgaRom");
    img.put(img.top_base() + 48, std::vector<std::uint8_t>{0x55, 0xAA, 0x00, 0x00});
    img.put_record16(8, "*BT-VGA*");
    img.put(img.top_base() + 144, std::vector<std::uint8_t>{0x55, 0xAA, 0x40, 0x00});
    auto f = img.bytes;
    EXPECT_EQ(rom_after_paragraph_record(f, img.top_base(), "BtBkVgaRom"), true);
    EXPECT_EQ(rom_after_paragraph_record(f, img.top_base(), "*BT-VGA*"), false);
    // No record: the bytes after the whole range are tested.
    EXPECT_EQ(rom_after_paragraph_record(f, img.top_base(), "*NVDAMM*"), false);
    img.put(img.top_base() + 0x1E000, std::vector<std::uint8_t>{0x55, 0xAA, 0x00, 0x00});
    auto g = img.bytes;
    EXPECT_EQ(rom_after_paragraph_record(g, img.top_base(), "*NVDAMM*"), true);
}

TEST(ParagraphMarker, RecordsOutsideTheFileDoNotMatch) {
    SyntheticImage img(0x100);
    img.put_text(0xF0, "*BT-VGA*");  // the file's last record
    auto f = img.bytes;
    EXPECT_EQ(paragraph_record_end(f, 0, "*BT-VGA*"), 0x100u);
    EXPECT_EQ(rom_after_paragraph_record(f, 0, "*BT-VGA*"), false);  // nothing follows it
    EXPECT_EQ(paragraph_record_end(f, 0x1000, "*BT-VGA*"), std::nullopt);
    EXPECT_EQ(rom_after_paragraph_record(f, 0x1000, "*BT-VGA*"), false);
}

TEST(Bs1Address, PhysicalAddressBecomesAFileOffset) {
    SyntheticImage img(256 * KB);
    img.put_bs1(0x3F000, 0xFFFE8000);  // also in the top 16 KB
    auto f = img.bytes;
    EXPECT_EQ(find_bs1_address(f), 0x28000u);
}

TEST(Bs1Address, NoPointerGivesZero) {
    EXPECT_EQ(
        [] {
            SyntheticImage img(256 * KB);
            auto f = img.bytes;
            return find_bs1_address(f);
        }(),
        0u);
    for (std::uint32_t address : {0u, 0xFFFFFFFFu, 0x10u}) {
        SyntheticImage img(256 * KB);
        img.put_bs1(0x30000, address);
        auto f = img.bytes;
        EXPECT_EQ(find_bs1_address(f), 0u) << std::hex << address;
    }
    // Below the scanned range (file_size - 0x1FFFF).
    SyntheticImage img(256 * KB);
    img.put_bs1(0x20000, 0xFFFE8000);
    auto f = img.bytes;
    EXPECT_EQ(find_bs1_address(f), 0u);
    // Its address runs past the end of the file.
    SyntheticImage cut(0x20010);
    cut.put_text(0x20008, "*BS1");
    auto g = cut.bytes;
    EXPECT_EQ(find_bs1_address(g), 0u);
}

TEST(Alin16Value, FoundFromTheFreePointerOn) {
    SyntheticImage img(256 * KB);
    std::uint32_t block = img.put_ncpu_block(0x3B000, std::vector<std::uint8_t>(0x1200, 0x11));
    img.put_bs1(0x3C000 - 0x100, img.physical(block));
    auto f = img.bytes;
    EXPECT_EQ(find_alin16_value(f), 0x1200u);

    // A trailer below the free pointer is not seen.
    img.put_bs1(0x3C000 - 0x100, img.physical(0x3B000));
    auto g = img.bytes;
    EXPECT_EQ(find_alin16_value(g), 0u);
}

TEST(Windows, BytesOutsideTheFileReadErased) {
    SyntheticImage img(0x10);
    img.fill(0, 0x10, 0x00);
    auto f = img.bytes;
    std::uint8_t buf[8];
    EXPECT_EQ(read_window(f, 0xC, buf), 4u);
    EXPECT_EQ(buf[3], 0x00);
    EXPECT_EQ(buf[4], 0xFF);
    EXPECT_EQ(read_window(f, 0x100, buf), 0u);
    EXPECT_FALSE(read_u32_at(f, 0xE).has_value());
    EXPECT_EQ(read_u32_at(f, 0xC), 0u);
}

TEST(Windows, TextAcrossA64KBoundaryIsFound) {
    SyntheticImage img(0x30000);
    img.put_text(0x1FFFE, "*ALIN16*");
    auto f = img.bytes;
    EXPECT_EQ(find_text(f, 0, 0x30000, "*ALIN16*"), 0x1FFFEu);
    EXPECT_EQ(find_text(f, 0x1FFFF, 0x30000, "*ALIN16*"), std::nullopt);
    EXPECT_EQ(find_text(f, 0, 0x1FFFE, "*ALIN16*"), std::nullopt);  // limit excludes it
}
