// /btvga and /NVMM through the real binary: what each room or slot holds
// afterwards, the listing of the result, and the refusals.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>

#include "testkit/components.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testkit::KB;
using testkit::SyntheticImage;

// A banked 1 MB image: system BIOS at 0, the record at 0xFE000, the bank
// block at 0xFF000, the check bytes below the boot block at 0xDFFFE.
SyntheticImage banked() {
    SyntheticImage img(1024 * KB);
    img.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x18000));
    img.put_bbss({.window = 1, .offset = 0xE000, .w6 = 0xF00D, .w8 = 0xE001, .w12 = 0xA000, .bank_length = 0x800});
    return img;
}

// A 512 KB image with a "*NVDAMM*" slot from 0xC000 to 0xD000 of the top 64 KB.
SyntheticImage nvidia() {
    SyntheticImage img(512 * KB);
    img.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x9000));
    img.put_bbss({.window = 1, .offset = 0xE000, .w8 = 0xD000, .w12 = 0xB000});
    img.put_slot_record(2, "*NVDAMM*", 0xC000, 0xD000);
    return img;
}

Bytes module(std::size_t size) {
    Bytes m(size, 0x5A);
    std::fill(m.begin() + 0x10, m.begin() + 0x60, 0x00);
    const std::string texts = std::string("NVMM\0MCP55\0\0v2.1", 16);
    std::copy(texts.begin(), texts.end(), m.begin() + 0x10);
    return m;
}

struct Case {
    const char* what;
    std::function<SyntheticImage()> image;
    std::map<std::string, Bytes> files;
    std::vector<std::string> args;
    std::string out_tail;  // the end of standard output
    std::string err;
    int status;
    // Checks the image afterwards; null: it must be unchanged.
    std::function<void(const Bytes&)> check;
    std::string listed;  // a line /D of the result must show ("" when nothing is checked)
};

TEST(BootBlockAdd, EachRoomAndSlot) {
    const Bytes vga = testkit::option_rom({.size = 0x8000});
    const std::uint32_t top = 1024 * KB - 0x20000;
    const auto with_room = [] {
        SyntheticImage img = banked();
        img.put_record16(0, "BtBkVgaRom");
        return img;
    };
    const auto with_slot = [](std::uint16_t end) {
        return [end] {
            SyntheticImage img = banked();
            img.put_slot_record(1, "*BT-VGA*", 0x2000, end);
            return img;
        };
    };
    const std::vector<Case> cases = {
        {"a ROM behind the BtBkVgaRom record, then 0xFF",
         with_room,
         {{"vga.rom", vga}},
         {"/btvga", "vga.rom"},
         "Adding vga.rom into BootBlock ..... Success\n",
         "",
         0,
         [&](const Bytes& img) {
             EXPECT_TRUE(std::equal(vga.begin(), vga.end(), img.begin() + top + 16));
             EXPECT_TRUE(std::all_of(img.begin() + top + 16 + vga.size(), img.begin() + top + 0x1E000,
                                     [](std::uint8_t b) { return b == 0xFF; }));
         },
         ""},
        {"a ROM shorter than its length byte is padded with 0xFF",
         with_room,
         {{"short.rom", Bytes(vga.begin(), vga.begin() + 0x1000)}},
         {"/btvga", "short.rom"},
         "Adding short.rom into BootBlock ..... Success\n",
         "",
         0,
         [&](const Bytes& img) {
             EXPECT_TRUE(std::equal(vga.begin(), vga.begin() + 0x1000, img.begin() + top + 16));
             EXPECT_EQ(img[top + 16 + 0x1000], 0xFF);
         },
         ""},
        {"a packed ROM in the *BT-VGA* slot",
         with_slot(0x6000),
         {{"vga.rom", vga}},
         {"/btvga", "vga.rom"},
         " Success\n",
         "",
         0,
         [](const Bytes& img) {
             const std::uint32_t at = 1024 * KB - 0x10000 + 0x2000;
             EXPECT_EQ(img[at + 2], '-');
             EXPECT_EQ(img[at + 17] | img[at + 18] << 8, 0x4000);  // TypeId 4000:0
             EXPECT_EQ(img[1024 * KB - 0x10000 + 0x6000 - 1], 0xFF);
         },
         "(BB) Compress BT-VGA   08000h(32.00K)"},
        {"a slot the member does not fit",
         with_slot(0x2010),
         {{"vga.rom", vga}},
         {"/btvga", "vga.rom", "/err"},
         "\n",
         "img.bin have not enough space for adding ROM.\n\n!!! Combine /btvga have some error.\n",
         1,
         nullptr,
         ""},
        {"a RomFile named as the work archive is not packed over",
         with_slot(0x6000),
         {{"bios.rom", vga}},
         {"/btvga", "bios.rom", "/err"},
         "\n",
         "Can't pack bios.rom: it is the work file bios.rom\n"
         "!!! Combine /btvga have some error.\n",
         1,
         nullptr,
         ""},
        {"no room of either kind",
         banked,
         {{"vga.rom", vga}},
         {"/btvga", "vga.rom"},
         "Release]\n",
         "img.bin has no room for a boot-block VGA ROM; nothing is added.\n",
         0,
         nullptr,
         ""},
        {"a file that is no VGA ROM ends the run",
         with_room,
         {{"x.bin", Bytes(100, 1)}, {"vga.rom", vga}},
         {"/btvga", "x.bin", "/btvga", "vga.rom"},
         "Release]\n",
         "The ROM Not VGA BIOS\n\n",
         0,
         nullptr,
         ""},
        {"/btvga alone",
         with_room,
         {},
         {"/btvga", "/D"},
         "",
         "/btvga: no file given; the image is unchanged.\n",
         0,
         nullptr,
         ""},
        {"/NVMM alone",
         nvidia,
         {},
         {"/NVMM", "/D"},
         "",
         "/NVMM: no file given; the image is unchanged.\n",
         0,
         nullptr,
         ""},
        {"a module with 0x00 behind it",
         nvidia,
         {{"m.bin", module(0xC00)}},
         {"/NVMM", "m.bin"},
         "Adding m.bin into BootBlock .....(Start c000) Success\n",
         "",
         0,
         [](const Bytes& img) {
             const std::uint32_t at = 512 * KB - 0x10000 + 0xC000;
             EXPECT_TRUE(std::equal(img.begin() + at, img.begin() + at + 0xC00, module(0xC00).begin()));
             EXPECT_TRUE(std::all_of(img.begin() + at + 0xC00, img.begin() + at + 0x1000,
                                     [](std::uint8_t b) { return b == 0x00; }));
         },
         "\n *** NVMM MCP55 v2.1 * Start Offset => c000, End Offset => d000 ***\n"},
        {"a module that fills the slot exactly",
         nvidia,
         {{"m.bin", module(0x1000)}},
         {"/NVMM", "m.bin"},
         "(Start c000) Success\n",
         "",
         0,
         [](const Bytes&) {},
         ""},
        {"a module one byte too long",
         nvidia,
         {{"m.bin", module(0x1001)}},
         {"/NVMM", "m.bin", "/err"},
         "\n\n",
         "img.bin have not enough space for adding ROM.\n!!! Combine NVMM have some error.\n",
         1,
         nullptr,
         ""},
        {"no memory-module slot",
         banked,
         {{"m.bin", module(0x100)}},
         {"/NVMM", "m.bin", "/err"},
         "\n\n",
         "img.bin isn't nVidia chipset BIOS ROM.\n!!! Combine NVMM have some error.\n",
         1,
         nullptr,
         ""},
        {"a slot whose end lies below its start",
         [] {
             SyntheticImage img = nvidia();
             img.put_slot_record(2, "*NVDAMM*", 0xD000, 0xC000);
             return img;
         },
         {{"m.bin", module(0x100)}},
         {"/NVMM", "m.bin"},
         "\n",
         "img.bin isn't nVidia chipset BIOS ROM.\n",
         0,
         nullptr,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::WorkDir dir;
        c.image().save("img.bin");
        for (const auto& [name, data] : c.files) testkit::spit(name, data);
        const Bytes before = testkit::slurp("img.bin");
        std::vector<std::string> args = {"img.bin"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const testkit::RunResult r = testkit::run_tool(args);
        EXPECT_TRUE(r.out.ends_with(c.out_tail)) << r.out;
        std::string err = r.err;
        err.erase(0, err.find_first_not_of('.'));  // the packer's progress dots
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(r.status, c.status);
        const Bytes after = testkit::slurp("img.bin");
        if (!c.check) {
            EXPECT_TRUE(after == before) << "the image changed";
            continue;
        }
        c.check(after);
        EXPECT_EQ(testkit::word_sum(after), 0);
        if (!c.listed.empty()) {
            const testkit::RunResult listing = testkit::run_tool({"img.bin", "/D"});
            EXPECT_NE(listing.out.find(c.listed), std::string::npos) << listing.out;
        }
    }
}

}  // namespace
