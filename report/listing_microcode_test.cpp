// Microcode cells and the listing's "Micro Code Information" report: Intel and bridge
// layouts, the boot-block table, the captured component and the top-placed
// block, and entries whose sizes do not fit where they stand.
#include "report/listing_microcode.hpp"
#include "report/listing.hpp"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/console.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "image/microcode.hpp"
#include "image/work_files.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/microcode_builder.hpp"
#include "testkit/workdir.hpp"

namespace {

using testkit::BridgeEntry;
using testkit::intel_microcode;
using testkit::IntelEntry;
using testkit::SyntheticImage;

// The cell of the entry at `offset` of `buffer`, as the report prints it:
// nothing, and the column as it was, for bytes that are no entry.
int print_cell(std::span<const std::uint8_t> buffer, std::size_t offset, int column, std::uint32_t length) {
    const std::optional<MicrocodeEntry> entry = decode_microcode_entry(buffer, offset, length);
    return entry ? print_microcode_entry(*entry, column) : column;
}

struct Cell {
    std::string out;
    int column = 0;
};

Cell cell(const std::vector<std::uint8_t>& buffer, std::size_t offset, int column, std::uint32_t length = 2048) {
    console::Capture cap;
    Cell c;
    c.column = print_cell(buffer, offset, column, length);
    c.out = cap.out();
    return c;
}

IntelEntry intel(std::uint32_t flags, std::uint32_t signature, std::uint32_t revision = 0x12) {
    IntelEntry e;
    e.flags = flags;
    e.signature = signature;
    e.revision = revision;
    return e;
}

TEST(MicrocodeEntry, IntelCellShowsPackageRevisionAndSignature) {
    struct Case {
        std::uint32_t flags, signature;
        const char* package;
    };
    const Case cases[] = {
        {1, 0x0F29, "SERVER"}, {2, 0x0686, "SLOT1 "},  {4, 0x0686, "SLOT2 "},  {4, 0x0F29, "PGA478"},
        {8, 0x0686, "MOBILE"}, {16, 0x0686, "PPGA  "}, {16, 0x0F29, "PGA423"}, {0x20, 0x0F29, "SLOT1 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.package);
        Cell got = cell(intel_microcode(intel(c.flags, c.signature)), 0, 18);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%s 12   %04X  |  ", c.package, c.signature);
        EXPECT_EQ(got.out, expected);
        EXPECT_EQ(got.column, 39);
    }
}

TEST(MicrocodeEntry, FourIntelCellsToALine) {
    std::vector<std::uint8_t> buffer;
    for (std::uint32_t i = 1; i <= 5; ++i) {
        std::vector<std::uint8_t> e = intel_microcode(intel(2, 0x0686, i));
        buffer.insert(buffer.end(), e.begin(), e.end());
    }
    console::Capture cap;
    int column = 18;
    std::vector<int> columns;
    for (std::size_t i = 0; i < 5; ++i) {
        column = print_cell(buffer, i * 2048, column, 2048);
        columns.push_back(column);
    }
    EXPECT_EQ(cap.out(),
              "SLOT1  01   0686  |  SLOT1  02   0686  |  SLOT1  03   0686  |  SLOT1  04   0686\n"
              "SLOT1  05   0686  |  ");
    EXPECT_EQ(columns, (std::vector<int>{39, 60, 81, 18, 39}));
}

TEST(MicrocodeEntry, EntriesFailingBothLayoutsPrintNothing) {
    std::vector<std::uint8_t> zero_word = intel_microcode(intel(1, 0x0686));
    zero_word[8] = zero_word[9] = zero_word[10] = zero_word[11] = 0;  // date 0
    zero_word[2047] = 0;  // keep the words summing to 0: adjust via the checksum
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < 2048; at += 4)
        sum += static_cast<std::uint32_t>(zero_word[at] | zero_word[at + 1] << 8 | zero_word[at + 2] << 16 |
                                          zero_word[at + 3] << 24);
    std::uint32_t checksum =
        static_cast<std::uint32_t>(zero_word[16] | zero_word[17] << 8 | zero_word[18] << 16 | zero_word[19] << 24) -
        sum;
    for (int i = 0; i < 4; ++i) zero_word[16 + i] = static_cast<std::uint8_t>(checksum >> (8 * i));
    Cell got = cell(zero_word, 0, 39);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.column, 39);

    std::vector<std::uint8_t> bad_sum = intel_microcode(intel(1, 0x0686));
    bad_sum[100] ^= 1;
    got = cell(bad_sum, 0, 60);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.column, 60);

    // An entry cut by the end of the buffer is not read past it.
    std::vector<std::uint8_t> cut = intel_microcode(intel(1, 0x0686));
    cut.resize(1000);
    EXPECT_EQ(cell(cut, 0, 18).out, "");
    EXPECT_EQ(cell(cut, 5000, 18).out, "");
}

TEST(MicrocodeEntry, BridgeCellsTwoToALineUnderTheHeadingBar) {
    BridgeEntry first;
    BridgeEntry second;
    second.update_id = 0x0107;
    second.north = second.south = 0;  // no bridge IDs: their columns stay blank
    std::vector<std::uint8_t> buffer = testkit::concat(
        {testkit::bridge_microcode(first), testkit::bridge_microcode(second), testkit::bridge_microcode(first)});
    console::Capture cap;
    int column = 18;
    for (std::size_t i = 0; i < 3; ++i) column = print_cell(buffer, i * 2048, column, 2048);
    EXPECT_EQ(cap.out(),
              "31881106 31771106     0105     0673    |                        0107     0673\n"
              "31881106 31771106     0105     0673    |  ");
}

// ---- The report on whole images.

// A 256 KB image whose "*BBSS*" record puts the microcode table at 0x24000.
SyntheticImage image_with_table(const std::vector<std::uint8_t>& table) {
    SyntheticImage image(256 * testkit::KB);
    image.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x8000));
    testkit::BbssFields bbss;
    bbss.w8 = 0xE000;
    bbss.w12 = 0xF000;
    bbss.w21 = 0x4000;
    image.put_bbss(bbss);
    if (!table.empty()) image.put(0x24000, table);
    return image;
}

std::string report(const SyntheticImage& image, const MicrocodeCapture& capture = {}) {
    image.save("img.bin");
    std::optional<BiosImage> opened = open_image("img.bin").image;
    EXPECT_TRUE(opened.has_value());
    if (!opened) return {};
    console::Capture cap;
    print_microcode_report(microcode_report(*opened, capture));
    EXPECT_EQ(cap.err(), "");
    return cap.out();
}

const std::string kTitle = "\n                          ** Micro Code Information **\n";
const std::string kIntelHeading =
    "Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID\n"
    "------------------+--------------------+--------------------+-------------------\n";
const std::string kBridgeHeading =
    "    Bridge ID                          |     Bridge ID                         \n"
    " North    South      Update ID  CPUID  |  North    South      Update ID  CPUID \n"
    "---------------------------------------+----------------------------------------\n";

TEST(MicrocodeReport, BootBlockTableEndsAtAnErasedEntryAndItsLastLineStaysOpen) {
    testkit::WorkDir dir;
    std::vector<std::vector<std::uint8_t>> entries;
    for (std::uint32_t i = 1; i <= 5; ++i) entries.push_back(intel_microcode(intel(8, 0x06B1, i)));
    entries.push_back(std::vector<std::uint8_t>(2048, 0xFF));
    entries.push_back(intel_microcode(intel(8, 0x06B1, 9)));  // after the end mark: not shown
    EXPECT_EQ(report(image_with_table(testkit::concat(entries))),
              kTitle + kIntelHeading +
                  "MOBILE 01   06B1  |  MOBILE 02   06B1  |  MOBILE 03   06B1  |  MOBILE 04   06B1\n"
                  "MOBILE 05   06B1  |  ");
}

TEST(MicrocodeReport, BootBlockTableStopsAtTheEndOfItsWindow) {
    testkit::WorkDir dir;
    // A 1 MB banked image: its IMD block (W18 = 5: 0x50000) puts the table
    // at 0x50000, far from the record, so 33 entries fit in a row.
    SyntheticImage image(1024 * testkit::KB);
    image.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x8000));
    testkit::BbssFields bbss;
    bbss.window = 1;
    bbss.w6 = 0x100E;
    bbss.w8 = 0xE001;
    bbss.w12 = 0xA000;
    bbss.w18 = 0x0005;
    bbss.bank_length = 0x2000;
    image.put_bbss(bbss);
    std::vector<std::vector<std::uint8_t>> entries;
    for (int i = 0; i < 33; ++i) entries.push_back(intel_microcode(intel(8, 0x06B1, 0x40)));
    image.put(0x50000, testkit::concat(entries));
    std::string out = report(image);
    // 32 entries of 2048 bytes fill the 64 KB read: eight full lines.
    std::string line = "MOBILE 40   06B1  |  MOBILE 40   06B1  |  MOBILE 40   06B1  |  MOBILE 40   06B1\n";
    std::string expected = kTitle + kIntelHeading;
    for (int i = 0; i < 8; ++i) expected += line;
    EXPECT_EQ(out, expected);
}

TEST(MicrocodeReport, BridgeTableAndNoTableWithoutBootRecord) {
    testkit::WorkDir dir;
    EXPECT_EQ(report(image_with_table(testkit::bridge_microcode(BridgeEntry{}))),
              kTitle + kBridgeHeading + "31881106 31771106     0105     0673    |  ");

    SyntheticImage no_record(256 * testkit::KB);
    no_record.put(0x24000, intel_microcode(intel(8, 0x06B1)));
    EXPECT_EQ(report(no_record), kTitle + kIntelHeading);
}

TEST(MicrocodeReport, BootRecordAtTheEndOfItsWindowStillGivesTheTable) {
    testkit::WorkDir dir;
    // The record's word at +0x21 lies past the end of the 64 KB window it was
    // found in; it is read from the file.
    SyntheticImage image(256 * testkit::KB);
    image.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x8000));
    testkit::BbssFields bbss;
    bbss.offset = 0xFFE0;
    bbss.w8 = 0xE000;
    bbss.w12 = 0xF000;
    bbss.w21 = 0x4000;
    image.put_bbss(bbss);
    image.put(0x24000, intel_microcode(intel(16, 0x0F29, 0x2E)));
    EXPECT_EQ(report(image), kTitle + kIntelHeading + "PGA423 2E   0F29  |  ");
}

// Captures the 0x4001 member at 0x10000 of `image` the way the listing does,
// listing the image (what the capture met goes to the console channel).
MicrocodeCapture capture_first_member(const SyntheticImage& image) {
    image.save("img.bin");
    std::optional<BiosImage> opened = open_image("img.bin").image;
    EXPECT_TRUE(opened.has_value());
    if (!opened) return {};
    const ImageSurvey survey = survey_image(*opened);
    EXPECT_EQ(survey.chain.members.size(), 1u);
    print_listing("img.bin", survey);
    return survey.microcode_capture;
}

TEST(MicrocodeReport, CompressedAreaComponentStoredOrCompressed) {
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "-lh5-" : "-lh0-");
        testkit::WorkDir dir;
        std::vector<std::uint8_t> code =
            testkit::concat({intel_microcode(intel(1, 0x0F12, 0x0A)), intel_microcode(intel(1, 0x0633, 0x0B)),
                             std::vector<std::uint8_t>(2048, 0xFF), intel_microcode(intel(4, 0x0F24, 0x0C))});
        SyntheticImage image = image_with_table({});
        image.put_member(0x10000, testkit::cpucode_member(code, compressed));
        MicrocodeCapture capture = capture_first_member(image);
        ASSERT_TRUE(capture.captured);
        EXPECT_EQ(capture.original_size, code.size());
        EXPECT_EQ(capture.data, code);
        // The erased entry fails both tests and is skipped.
        EXPECT_EQ(report(image, capture),
                  kTitle + kIntelHeading + "SERVER 0A   0F12  |  SLOT1  0B   0633  |  PGA478 0C   0F24  |  ");
    }
}

TEST(MicrocodeReport, DamagedCompressedComponentIsNotCaptured) {
    testkit::WorkDir dir;
    std::vector<std::uint8_t> code = intel_microcode(intel(1, 0x0F12, 0x0A));
    testkit::MemberFields member = testkit::cpucode_member(code, true);
    SyntheticImage image = image_with_table({});

    // A header promising far more than any image holds is not expanded.
    testkit::MemberFields huge = member;
    huge.original_size = 0x40000000;
    image.put_member(0x10000, huge);
    MicrocodeCapture capture = capture_first_member(image);
    EXPECT_FALSE(capture.captured);

    // A stream whose code tables are inconsistent: the codec's fatal error is
    // reported on the console channel and the listing goes on without it.
    testkit::MemberFields broken = member;
    std::fill(broken.data.begin(), broken.data.begin() + 8, 0xFF);
    SyntheticImage damaged = image_with_table({});
    damaged.put_member(0x10000, broken);
    console::Capture cap;
    capture = capture_first_member(damaged);
    EXPECT_FALSE(capture.captured);
    EXPECT_EQ(cap.err(), "Bad table\n");
}

// A 256 KB image with the top-placed block `block` ending at area end 0x2F000
// and "*BS1" pointing at it.
SyntheticImage image_with_top_block(const std::vector<std::uint8_t>& block) {
    SyntheticImage image = image_with_table({});
    testkit::put_top_microcode(image, 0x2F000, block, 0x2F800);
    return image;
}

TEST(MicrocodeReport, TopBlockEntriesFollowTheirTotalSizes) {
    testkit::WorkDir dir;
    IntelEntry big = intel(16, 0x0686, 0x21);
    big.total_size = 0x1000;
    std::vector<std::uint8_t> block = testkit::concat(
        {intel_microcode(intel(8, 0x06B1, 0x20)), intel_microcode(big), intel_microcode(intel(2, 0x0686, 0x22))});
    EXPECT_EQ(report(image_with_top_block(block)),
              kTitle + kIntelHeading + "MOBILE 20   06B1  |  PPGA   21   0686  |  SLOT1  22   0686  |  ");
}

TEST(MicrocodeReport, TopBlockStopsAtEntriesThatDoNotFit) {
    testkit::WorkDir dir;
    std::vector<std::uint8_t> first = intel_microcode(intel(8, 0x06B1, 0x30));

    // Total size 0xFFFFFFFF ends the list.
    std::vector<std::uint8_t> erased(2048, 0xFF);
    EXPECT_EQ(report(image_with_top_block(testkit::concat({first, erased, first}))),
              kTitle + kIntelHeading + "MOBILE 30   06B1  |  ");

    // A huge total size runs past the block: the list ends before it.
    std::vector<std::uint8_t> huge = intel_microcode(intel(8, 0x06B1, 0x31));
    huge[32] = 0x00, huge[33] = 0x00, huge[34] = 0x00, huge[35] = 0x80;
    EXPECT_EQ(report(image_with_top_block(testkit::concat({first, huge, first}))),
              kTitle + kIntelHeading + "MOBILE 30   06B1  |  ");

    // The last entry ends one byte past the block's length.
    std::vector<std::uint8_t> block = testkit::concat({first, first});
    SyntheticImage image = image_with_top_block(block);
    image.put32(0x2F000 - 32 + 8, 0x0FFF);  // the length after "*ALIN16*"
    EXPECT_EQ(report(image), kTitle + kIntelHeading + "MOBILE 30   06B1  |  ");
}

TEST(MicrocodeReport, TopBlockNeverReadsPastItsWindowOrTheFile) {
    testkit::WorkDir dir;
    // A length far beyond 64 KB: entries are read only inside the 64 KB read.
    std::vector<std::uint8_t> entries;
    for (int i = 0; i < 40; ++i) {
        std::vector<std::uint8_t> e = intel_microcode(intel(8, 0x06B1, 0x50));
        entries.insert(entries.end(), e.begin(), e.end());
    }
    SyntheticImage image(512 * testkit::KB);
    image.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x8000));
    testkit::put_top_microcode(image, 0x7C000, entries, 0x7F000);
    std::string out = report(image);
    std::string line = "MOBILE 50   06B1  |  MOBILE 50   06B1  |  MOBILE 50   06B1  |  MOBILE 50   06B1\n";
    std::string expected = kTitle + kIntelHeading;
    for (int i = 0; i < 8; ++i) expected += line;  // 32 entries fill the window
    EXPECT_EQ(out, expected);

    // "*BS1" pointing past the end of the file: no block is read.
    SyntheticImage outside = image_with_table({});
    outside.put_bs1(0x2F800, 0x00001000);  // physical 0x1000: beyond the 4 GB top
    outside.put_text(0x2E000, "*ALIN16*");
    EXPECT_EQ(report(outside), kTitle + kIntelHeading);
}

}  // namespace
