// open_image on synthetic images: where the areas, the chain and the records lie.
#include "image/bios_image.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "testkit/image_builder.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

using testkit::KB;
using testkit::stored_member;
using testkit::SyntheticImage;

namespace {

BiosImage open_saved(const SyntheticImage& img) {
    img.save("image.bin");
    auto image = open_image("image.bin").image;
    if (!image) throw std::runtime_error("open_image failed");
    return std::move(*image);
}

// A system BIOS member at offset 0: name of 11 characters gives H = 36.
void put_system_bios(SyntheticImage& img, std::uint32_t packed, std::uint32_t at = 0) {
    img.put_member(at, stored_member(0x5000, 0, "SYSBIOS.BIN", packed));
}

}  // namespace

TEST(OpenImage, SmallImageChainStartsAfterTheSystemBiosSpace) {
    testkit::WorkDir dir;
    SyntheticImage img(256 * KB);
    put_system_bios(img, 0x9000);
    BiosImage a = open_saved(img);
    EXPECT_FALSE(a.large_image);
    EXPECT_EQ(a.file_size, 0x40000u);
    EXPECT_EQ(a.top_base, 0x20000u);
    EXPECT_EQ(a.first_member, 0u);
    EXPECT_EQ(a.chain_start, 0x10000u);  // at least 64 KB is reserved

    put_system_bios(img, 0x12000);
    BiosImage b = open_saved(img);
    EXPECT_EQ(b.chain_start, 0x12028u);  // H 36 + P + 4
}

TEST(OpenImage, SmallImageWithoutSystemBiosMemberUsesTheLowerPart) {
    testkit::WorkDir dir;
    SyntheticImage img(256 * KB);
    img.put_member(0, stored_member(0x4080, 0, "VGA.ROM", 0x100));
    img.put_bbss({.window = 1, .offset = 0x100, .w8 = 0xE000, .w12 = 0xC000});
    BiosImage a = open_saved(img);
    EXPECT_EQ(a.chain_start, 0u);
    EXPECT_EQ(a.first_member, 0u);
    EXPECT_EQ(a.area_end, 0x20000u);  // top_base, whatever the record says
    EXPECT_EQ(a.checksum_block, 0x3E000u);
}

TEST(OpenImage, LargeImageRecordInSecondWindowAndFirstMemberByScan) {
    testkit::WorkDir dir;
    SyntheticImage img(512 * KB);
    put_system_bios(img, 0x14000, 0x300);
    img.put_bbss({.window = 1, .offset = 0x4000, .w8 = 0xE000, .w12 = 0xC123, .w18 = 0xD456, .w21 = 0x1234});
    BiosImage a = open_saved(img);
    EXPECT_TRUE(a.large_image);
    EXPECT_EQ(a.boot_window, 0x70000u);
    EXPECT_EQ(a.bbss_offset, 0x4000u);
    EXPECT_FALSE(a.banked);
    EXPECT_EQ(a.area_end, 0x7C000u);
    EXPECT_EQ(a.checksum_block, 0x7E000u);
    EXPECT_EQ(a.imd_block, 0x7D000u);
    EXPECT_EQ(a.microcode_table, 0x71230u);  // (W21 & 0xFFF0) + (imd_block & 0xF0000)
    EXPECT_EQ(a.first_member, 0x300u);
    EXPECT_EQ(a.chain_start, 0x300u + 36 + 0x14000 + 4);
}

TEST(OpenImage, SmallImageMicrocodeTableIsRelativeToTheWindow) {
    testkit::WorkDir dir;
    SyntheticImage img(128 * KB);
    put_system_bios(img, 0x100);
    img.put_bbss({.window = 0, .offset = 0x9000, .w8 = 0xF000, .w12 = 0xE000, .w21 = 0x1235});
    BiosImage a = open_saved(img);
    EXPECT_EQ(a.top_base, 0u);
    EXPECT_EQ(a.boot_window, 0u);
    EXPECT_EQ(a.area_end, 0xE000u);
    EXPECT_EQ(a.microcode_table, 0x1235u);
}

TEST(OpenImage, RecordMustFitItsWindow) {
    testkit::WorkDir dir;
    SyntheticImage img(256 * KB);
    put_system_bios(img, 0x100);
    // "*BBSS*" at 0xFFFA of the first window ends exactly at the window's end: not seen.
    img.put_text(0x20000 + 0xFFFA, "*BBSS*");
    BiosImage a = open_saved(img);
    EXPECT_EQ(a.bbss_offset, 0xFFFAu);
    EXPECT_EQ(a.checksum_block, 0u);
    EXPECT_EQ(a.area_end, 0xB000u);

    img.put_bbss({.window = 0, .offset = 0xFFF9 - 0x30});  // a real one, lower, is found
    BiosImage b = open_saved(img);
    EXPECT_EQ(b.bbss_offset, 0xFFC9u);
    EXPECT_EQ(b.boot_window, 0x20000u);
}

TEST(OpenImage, ImdResetBitComesOnlyFromAFoundRecord) {
    testkit::WorkDir dir;
    SyntheticImage img(256 * KB);
    put_system_bios(img, 0x100);
    img.put8(img.size() - 0x20, 0x02);  // where a missing record's flag byte would be read
    EXPECT_FALSE(open_saved(img).imd_reset);

    img.put_bbss({.window = 1, .offset = 0x200, .w8 = 0xE000, .w12 = 0xC000, .w18 = 0xF000, .imd_reset = true});
    BiosImage a = open_saved(img);
    EXPECT_TRUE(a.imd_reset);
    EXPECT_EQ(a.imd_block, 0x3F000u);

    img.put_bbss({.window = 1, .offset = 0x200, .w8 = 0xE000, .w12 = 0xC000, .imd_reset = false});
    EXPECT_FALSE(open_saved(img).imd_reset);
}

TEST(OpenImage, RecordTooCloseToItsWindowStartHasNoImdFlag) {
    testkit::WorkDir dir;
    SyntheticImage img(256 * KB);
    put_system_bios(img, 0x100);
    img.put_text(0x30000 + 10, "*BBSS*");
    img.put8(0x3000A - 26, 0xFF);  // 26 bytes before the record lies outside its window
    BiosImage a = open_saved(img);
    EXPECT_EQ(a.bbss_offset, 10u);
    EXPECT_FALSE(a.imd_reset);
}

TEST(OpenImage, BankedFormInLargeImages) {
    testkit::WorkDir dir;
    SyntheticImage img(1024 * KB);
    put_system_bios(img, 0x100);
    testkit::BbssFields fields{.window = 0,
                               .offset = 0x8000,
                               .w6 = 0x3005,
                               .w8 = 0xE001,
                               .w12 = 0xD000,
                               .w18 = 0x2F05,
                               .w21 = 0x4567,
                               .bank_length = 0x1800};
    img.put_bbss(fields);
    BiosImage a = open_saved(img);
    EXPECT_TRUE(a.banked);
    EXPECT_EQ(a.boot_window, 0xE0000u);
    EXPECT_EQ(a.area_end, 0xED000u);
    // file_size - 1 MB + bank 5 * 64 KB + ((0x3000 + 0x1800) & 0xF000)
    EXPECT_EQ(a.checksum_block, 0x54000u);
    EXPECT_EQ(a.imd_block, 0x52F00u);
    EXPECT_EQ(a.microcode_table, 0x54560u);

    // The same record in a small image is the plain form.
    SyntheticImage small(256 * KB);
    put_system_bios(small, 0x100);
    small.put_bbss(fields);
    BiosImage b = open_saved(small);
    EXPECT_FALSE(b.banked);
    EXPECT_EQ(b.checksum_block, 0x20000u + 0xE000);
}

TEST(OpenImage, BankedRecordPointingOutsideTheFileCountsAsAbsent) {
    testkit::WorkDir dir;
    SyntheticImage img(512 * KB);
    put_system_bios(img, 0x100);
    // Bank 0 of a 512 KB file: file_size - 1 MB lies below the file's start.
    img.put_bbss({.window = 0,
                  .offset = 0x8000,
                  .w6 = 0x0000,
                  .w8 = 0xE001,
                  .w12 = 0xD000,
                  .imd_reset = true,
                  .bank_length = 0x10});
    BiosImage a = open_saved(img);
    EXPECT_EQ(a.bbss_offset, 0xFFFAu);
    EXPECT_FALSE(a.banked);
    EXPECT_FALSE(a.imd_reset);
    EXPECT_EQ(a.checksum_block, 0u);
    EXPECT_EQ(a.area_end, 0xB000u);
}

TEST(OpenImage, Bs1PointerIsAFileOffset) {
    testkit::WorkDir dir;
    SyntheticImage img(256 * KB);
    put_system_bios(img, 0x100);
    img.put_bs1(0x3A000, 0xFFFE8000);
    BiosImage a = open_saved(img);
    EXPECT_TRUE(a.bs1_present);
    EXPECT_EQ(a.free_pointer, 0x28000u);
}

TEST(OpenImage, Bs1WithoutUsablePointer) {
    testkit::WorkDir dir;
    for (std::uint32_t address : {0u, 0xFFFFFFFFu, 0x00001000u /* past the end of the file */}) {
        SyntheticImage img(256 * KB);
        put_system_bios(img, 0x100);
        img.put_bs1(0x3A000, address);
        BiosImage a = open_saved(img);
        EXPECT_FALSE(a.bs1_present) << std::hex << address;
        EXPECT_EQ(a.free_pointer, 0u);
    }
    // The scan stops below file_size - 0x3FFF: a record in the top 16 KB is not read.
    SyntheticImage img(256 * KB);
    put_system_bios(img, 0x100);
    img.put_bs1(0x40000 - 0x3FFF, 0xFFFE8000);
    EXPECT_FALSE(open_saved(img).bs1_present);
    img.put_bs1(0x40000 - 0x4000, 0xFFFE8000);
    EXPECT_TRUE(open_saved(img).bs1_present);
}

TEST(OpenImage, MicrocodeTrailerBelowTheAreaEnd) {
    testkit::WorkDir dir;
    SyntheticImage img(256 * KB);
    put_system_bios(img, 0x100);
    img.put_bbss({.window = 1, .offset = 0xE000, .w8 = 0xD000, .w12 = 0xB000});
    img.put_ncpu_block(0x3B000, std::vector<std::uint8_t>(0x800, 0x5A));
    EXPECT_EQ(open_saved(img).ncpu_size, 0x800u);

    img.put32(0x3B000 - 24, 0x3B000);  // a length that reaches before the file
    EXPECT_EQ(open_saved(img).ncpu_size, 0u);

    img.put32(0x3B000 - 24, 0x800);
    img.put_text(0x3B000 - 16, "NCPUCODE.BIX");
    EXPECT_EQ(open_saved(img).ncpu_size, 0u);
}

TEST(OpenImage, LogoFlagsByte) {
    testkit::WorkDir dir;
    SyntheticImage img(256 * KB);
    img.put8(img.size() - 0x1FA6, 0x5C);
    EXPECT_EQ(open_saved(img).logo_flags, 0x5C);
}

TEST(OpenImage, LargeImageWithoutAnyMember) {
    testkit::WorkDir dir;
    SyntheticImage img(512 * KB);
    BiosImage a = open_saved(img);
    EXPECT_EQ(a.first_member, 0u);
    EXPECT_EQ(a.chain_start, 0u);
}

TEST(OpenImage, FirstMemberScanIgnoresCaseAndSkipsWindowEdges) {
    testkit::WorkDir dir;
    SyntheticImage img(512 * KB);
    img.put_text(0x10000, "-lh");      // window position 0: not compared
    img.put_text(0x1FFFE, "-lh");      // straddles two windows: not compared
    img.put_text(0x25000 + 2, "-LH");  // any case
    img.put8(0x25000, 0x20);
    img.put32(0x25000 + 7, 0x100);
    BiosImage a = open_saved(img);
    EXPECT_EQ(a.first_member, 0x25000u);
    EXPECT_EQ(a.chain_start, 0x35000u);
}

TEST(OpenImage, HugePackedSizeKeepsChainStartInsideTheFile) {
    testkit::WorkDir dir;
    SyntheticImage img(512 * KB);
    img.put_member(0, stored_member(0x5000, 0, "SYSBIOS.BIN", 0x100));
    img.put32(7, 0xFFFFFF00);  // packed size far past the end (header sum no longer checked here)
    EXPECT_EQ(open_saved(img).chain_start, 0x80000u);

    SyntheticImage small(256 * KB);
    small.put_member(0, stored_member(0x5000, 0, "SYSBIOS.BIN", 0x100));
    small.put32(7, 0xFFFFFFF0);
    EXPECT_EQ(open_saved(small).chain_start, 0x40000u);
}

TEST(OpenImage, MissingFolderOrOversizedFileGivesNothing) {
    testkit::WorkDir dir;
    std::filesystem::create_directory("folder.bin");
    for (const char* name : {"no-such.bin", "folder.bin"}) {
        const OpenedImage opened = open_image(name);
        EXPECT_FALSE(opened.image.has_value()) << name;
        EXPECT_EQ(opened.failure, OpenFailure::NotFound) << name;
    }
    testkit::spit("huge.bin", std::vector<std::uint8_t>(kMaxImageSize + 1, 0xFF));
    const OpenedImage huge = open_image("huge.bin");
    EXPECT_FALSE(huge.image.has_value());
    EXPECT_EQ(huge.failure, OpenFailure::TooLarge);
}

// Files of any size open; every position stays inside the file.
TEST(OpenImage, TinyAndOddSizedFilesStayInsideTheFile) {
    testkit::WorkDir dir;
    for (std::uint32_t size : {0u, 1u, 31u, 0x10000u, 0x18001u, 0x20001u, 0x4FFFFu}) {
        SyntheticImage img(size);
        if (size >= 0x10000) {
            img.put_member(0, stored_member(0x5000, 0, "SYSBIOS.BIN", 0x100));
            img.put_text(size / 2, "*BS1");  // address bytes 0xFF: no pointer
        }
        BiosImage a = open_saved(img);
        SCOPED_TRACE(size);
        EXPECT_EQ(a.file_size, size);
        EXPECT_EQ(a.top_base, size > 0x20000 ? size - 0x20000 : 0);
        EXPECT_LE(a.area_end, size);
        EXPECT_LE(a.chain_start, size);
        EXPECT_EQ(a.checksum_block, 0u);
        EXPECT_FALSE(a.bs1_present);
        EXPECT_EQ(a.ncpu_size, 0u);
    }
}

TEST(OpenImage, RecordOfAShortFileThatPointsPastItsEndIsIgnored) {
    testkit::WorkDir dir;
    SyntheticImage img(0x18000);  // 96 KB: the boot block is the whole file
    img.put_member(0, stored_member(0x5000, 0, "SYSBIOS.BIN", 0x100));
    img.put_text(0x10000 + 0x7000, "*BBSS*");
    img.put16(0x17000 + 8, 0x2000);   // checksum block 0x12000: inside
    img.put16(0x17000 + 12, 0xF000);  // area end 0x1F000: outside
    BiosImage a = open_saved(img);
    EXPECT_EQ(a.bbss_offset, 0xFFFAu);
    EXPECT_EQ(a.area_end, 0xB000u);
    EXPECT_EQ(a.checksum_block, 0u);

    img.put16(0x17000 + 12, 0x6000);  // area end 0x16000: a usable record
    BiosImage b = open_saved(img);
    EXPECT_EQ(b.boot_window, 0x10000u);
    EXPECT_EQ(b.area_end, 0x16000u);
    EXPECT_EQ(b.checksum_block, 0x12000u);
}

// The demo's image maker lays out what its usage comment promises.
TEST(OpenImage, MkimageLayout) {
    testkit::WorkDir dir;
    auto made = testkit::run_program(MKIMAGE_BINARY, {"demo.bin", "--size", "512K"});
    ASSERT_EQ(made.status, 0) << made.err;
    auto image = open_image("demo.bin").image;
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->first_member, 0u);
    EXPECT_EQ(image->chain_start, 0x10000u);
    EXPECT_EQ(image->area_end, 0x80000u - 0x5000);
    EXPECT_EQ(image->checksum_block, 0x80000u - 0x3000);
    EXPECT_EQ(image->imd_block, 0x80000u - 0x1000);
    EXPECT_TRUE(image->bs1_present);
    EXPECT_EQ(image->free_pointer, image->area_end);
}
