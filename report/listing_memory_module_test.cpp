// The memory-module line of the listing.
#include "report/listing.hpp"

#include <gtest/gtest.h>

#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/microcode_builder.hpp"
#include "testkit/workdir.hpp"

namespace {

using testkit::SyntheticImage;
using namespace std::string_literals;

std::string module_line(const SyntheticImage& image) {
    image.save("img.bin");
    std::optional<BiosImage> opened = open_image("img.bin").image;
    EXPECT_TRUE(opened.has_value());
    if (!opened) return {};
    console::Capture cap;
    list_memory_module(survey_image(*opened).memory_module);
    EXPECT_EQ(cap.err(), "");
    return cap.out();
}

// A 256 KB image with the slot 0x2000..0x3000 filled with 0x00, as an add leaves it.
SyntheticImage slot_image() {
    SyntheticImage image(256 * testkit::KB);
    image.fill(testkit::top64(image, 0x2000), 0x1000, 0x00);
    return image;
}

TEST(MemoryModule, ListsTheTextsAfterNvmmAndTheSlotBounds) {
    testkit::WorkDir dir;
    SyntheticImage image = slot_image();
    testkit::put_nvdamm_slot(image, 5, 0x2000, 0x3000, 0x2400, "NVMM\0NV44 DDR\0\0REV 1.02"s);
    EXPECT_EQ(module_line(image), "\n *** NVMM NV44 DDR REV 1.02 * Start Offset => 2000, End Offset => 3000 ***\n");
}

TEST(MemoryModule, TextJoinedToNvmmAndMissingTexts) {
    testkit::WorkDir dir;
    SyntheticImage image = slot_image();
    testkit::put_nvdamm_slot(image, 5, 0x2000, 0x3000, 0x2000, "NVMMX1\0Y2"s);
    // The third text is empty: its blank still stands.
    EXPECT_EQ(module_line(image), "\n *** NVMMX1 Y2  * Start Offset => 2000, End Offset => 3000 ***\n");
}

TEST(MemoryModule, TextsEndWithTheFiftyTwoBytesRead) {
    testkit::WorkDir dir;
    SyntheticImage image = slot_image();
    testkit::put_nvdamm_slot(image, 5, 0x2000, 0x3000, 0x2800, "NVMM" + std::string(60, 'A'));
    // The first text takes 52 bytes; the console wraps the line at 80 columns.
    EXPECT_EQ(module_line(image),
              "\n *** NVMM" + std::string(48, 'A') + "   * Start Offset => 20\n00, End Offset => 3000 ***\n");
}

TEST(MemoryModule, SearchCoversTheSlotEndInclusiveAndNothingBeyond) {
    testkit::WorkDir dir;
    SyntheticImage at_end = slot_image();
    at_end.fill(testkit::top64(at_end, 0x3000), 0x40, 0x00);
    testkit::put_nvdamm_slot(at_end, 5, 0x2000, 0x3000, 0x3000, "NVMM\0END"s);
    EXPECT_EQ(module_line(at_end), "\n *** NVMM END  * Start Offset => 2000, End Offset => 3000 ***\n");

    SyntheticImage past_end = slot_image();
    testkit::put_nvdamm_slot(past_end, 5, 0x2000, 0x3000, 0x3001, "NVMM\0END"s);
    EXPECT_EQ(module_line(past_end), "");

    SyntheticImage before = slot_image();
    testkit::put_nvdamm_slot(before, 5, 0x2000, 0x3000, 0x1FFF, "NVMM\0EARLY"s);
    EXPECT_EQ(module_line(before), "");
}

TEST(MemoryModule, NothingWithoutRecordOnItsStepOrWithoutNvmm) {
    testkit::WorkDir dir;
    SyntheticImage no_block = slot_image();
    no_block.put_slot_record(5, "*NVDAMM*", 0x2000, 0x3000);
    EXPECT_EQ(module_line(no_block), "");

    SyntheticImage off_step = slot_image();
    off_step.put_text(testkit::top64(off_step, 0x2400), "NVMM");
    off_step.put_text(off_step.top_base() + 5 * 16 + 8, "*NVDAMM*");
    off_step.put16(off_step.top_base() + 5 * 16 + 16, 0x2000);
    off_step.put16(off_step.top_base() + 5 * 16 + 18, 0x3000);
    EXPECT_EQ(module_line(off_step), "");
}

TEST(MemoryModule, SlotAtTheEndOfTheFileOrBeforeItsStart) {
    testkit::WorkDir dir;
    // "NVMM" four bytes before the end of the file: the text ends there.
    SyntheticImage end = slot_image();
    testkit::put_nvdamm_slot(end, 5, 0xFFF0, 0xFFFF, 0xFFFA, "NVMMXY");
    EXPECT_EQ(module_line(end), "\n *** NVMMXY   * Start Offset => fff0, End Offset => ffff ***\n");

    // A 32 KB file: the slot starts before the file; the part inside is searched.
    SyntheticImage tiny(32 * testkit::KB);
    tiny.put_text(0, "*NVDAMM*");
    tiny.put16(8, 0x0100);
    tiny.put16(10, 0xA000);
    tiny.fill(0x1000, 0x100, 0x00);
    tiny.put_text(0x1000, "NVMM"s + '\0' + "SMALL");
    EXPECT_EQ(module_line(tiny), "\n *** NVMM SMALL  * Start Offset => 100, End Offset => a000 ***\n");
}

}  // namespace
