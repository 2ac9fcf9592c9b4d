// The boot-block VGA ROM as the listing shows it: the "(BB)" row of the
// "*BT-VGA*" slot and the "On Board VGA ROM In BootBlock" line.
#include "report/listing.hpp"

#include <gtest/gtest.h>

#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/microcode_builder.hpp"
#include "testkit/workdir.hpp"

namespace {

using testkit::stored_member;
using testkit::SyntheticImage;

struct Printed {
    std::string row, on_board;
};

Printed print_both(const SyntheticImage& image) {
    image.save("img.bin");
    std::optional<BiosImage> opened = open_image("img.bin").image;
    EXPECT_TRUE(opened.has_value());
    if (!opened) return {};
    Printed printed;
    {
        console::Capture cap;
        list_boot_vga(survey_image(*opened).vga_member);
        printed.row = cap.out();
        EXPECT_EQ(cap.err(), "");
    }
    console::Capture cap;
    print_on_board_vga(survey_image(*opened).on_board_vga);
    printed.on_board = cap.out();
    return printed;
}

const std::string kOnBoard = "\n ****** On Board VGA ROM In BootBlock ******\n";

TEST(BootBlockVga, SlotMemberRowCountsTheWholeMemberOnlyInKilobytes) {
    testkit::WorkDir dir;
    SyntheticImage image(256 * testkit::KB);
    // Stored member: H = 32, P = 0x3000; the hexadecimal part is P alone,
    // the kilobytes (P + H + 3) / 1024.
    testkit::put_bt_vga_slot(image, 2, 0x8000, 0xA000,
                             testkit::member_bytes(stored_member(0x4000, 0, "VGA.ROM", 0x3000)));
    EXPECT_EQ(print_both(image).row, "(BB) Compress BT-VGA   03000h(12.00K)   03000h(12.03K)  VGA.ROM\n");
}

TEST(BootBlockVga, NoRowForAnErasedEmptyOrMissingSlot) {
    testkit::WorkDir dir;
    SyntheticImage erased(256 * testkit::KB);
    erased.put_slot_record(2, "*BT-VGA*", 0x8000, 0xA000);  // slot left all 0xFF
    EXPECT_EQ(print_both(erased).row, "");

    SyntheticImage zero_size(256 * testkit::KB);
    testkit::MemberFields empty = stored_member(0x4000, 0, "VGA.ROM", 0x100);
    empty.original_size = 0;
    testkit::put_bt_vga_slot(zero_size, 2, 0x8000, 0xA000, testkit::member_bytes(empty));
    EXPECT_EQ(print_both(zero_size).row, "");

    // A slot that holds bytes but no member header.
    SyntheticImage foreign(256 * testkit::KB);
    foreign.put_slot_record(2, "*BT-VGA*", 0x8000, 0xA000);
    foreign.fill(testkit::top64(foreign, 0x8000), 64, 0x12);
    EXPECT_EQ(print_both(foreign).row, "");

    // The record 8 bytes off a 16-byte step is not seen.
    SyntheticImage off_step(256 * testkit::KB);
    testkit::put_bt_vga_slot(off_step, 2, 0x8000, 0xA000,
                             testkit::member_bytes(stored_member(0x4000, 0, "VGA.ROM", 0x100)));
    off_step.put_text(off_step.top_base() + 32, "XXXXXXXX*BT-VGA*");
    EXPECT_EQ(print_both(off_step).row, "");
}

TEST(BootBlockVga, SlotOutsideOrAtTheEndOfTheFileGivesNoRow) {
    testkit::WorkDir dir;
    // A 32 KB file: slot offset 0x100 of the top 64 KB lies before the file.
    SyntheticImage tiny(32 * testkit::KB);
    tiny.put_text(0, "*BT-VGA*");
    tiny.put16(8, 0x0100);
    tiny.put16(10, 0x0200);
    EXPECT_EQ(print_both(tiny).row, "");

    // A slot whose header is cut by the end of the file.
    SyntheticImage cut(256 * testkit::KB);
    cut.put_slot_record(0, "*BT-VGA*", 0xFFF0, 0xFFFF);
    std::vector<std::uint8_t> member = testkit::member_bytes(stored_member(0x4000, 0, "VGA.ROM", 0x100));
    cut.put(testkit::top64(cut, 0xFFF0), std::span(member.data(), 16));
    EXPECT_EQ(print_both(cut).row, "");
}

TEST(BootBlockVga, NameLongerThanItsHeaderStopsAtTheHeader) {
    testkit::WorkDir dir;
    SyntheticImage image(256 * testkit::KB);
    testkit::MemberFields m = stored_member(0x4000, 0, "VGA.ROM", 0x100);
    m.data.assign(0x100, 'Z');
    std::vector<std::uint8_t> member = testkit::member_bytes(m);
    member[21] = 200;  // name length far beyond H = 32
    testkit::put_bt_vga_slot(image, 1, 0x8000, 0xA000, member);
    std::string row = print_both(image).row;
    ASSERT_GE(row.size(), 57u);
    EXPECT_EQ(row.substr(0, 56), "(BB) Compress BT-VGA   00100h(0.25K)    00100h(0.28K)   ");
    // Bytes 22 to 33 of the header at most: the name and the bytes after it
    // up to the header's end, never the data ('Z').
    std::string name = row.substr(56, row.size() - 57);
    EXPECT_EQ(name.substr(0, 7), "VGA.ROM");
    EXPECT_LE(name.size(), 12u);
    EXPECT_EQ(name.find('Z'), std::string::npos);
}

TEST(BootBlockVga, OnBoardLineNeedsTheFullFourByteSignature) {
    testkit::WorkDir dir;
    SyntheticImage image(256 * testkit::KB);
    image.put_record16(4, "BtBkVgaRom");
    image.put(image.top_base() + 80, std::vector<std::uint8_t>{0x55, 0xAA, 0x00, 0x00});
    EXPECT_EQ(print_both(image).on_board, kOnBoard);

    SyntheticImage two_bytes(256 * testkit::KB);
    two_bytes.put_record16(4, "BtBkVgaRom");
    two_bytes.put(two_bytes.top_base() + 80, std::vector<std::uint8_t>{0x55, 0xAA, 0x40, 0x00});
    EXPECT_EQ(print_both(two_bytes).on_board, "");

    // Without "BtBkVgaRom" the 16 bytes after "*BT-VGA*" are tested.
    SyntheticImage slot(256 * testkit::KB);
    slot.put_slot_record(3, "*BT-VGA*", 0x8000, 0xA000);
    slot.put(slot.top_base() + 64, std::vector<std::uint8_t>{0x55, 0xAA, 0x00, 0x00});
    EXPECT_EQ(print_both(slot).on_board, kOnBoard);

    SyntheticImage none(256 * testkit::KB);
    EXPECT_EQ(print_both(none).on_board, "");
}

}  // namespace
