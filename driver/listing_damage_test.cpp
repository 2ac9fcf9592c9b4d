// Listings of damaged images: whatever the image holds, the listing reads
// nothing outside it, prints what can be printed and ends as a listing does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/console.hpp"
#include "driver/operations.hpp"
#include "image/bios_image.hpp"
#include "report/listing_testing.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

using testkit::BbssFields;
using testkit::stored_member;
using testkit::SyntheticImage;

const std::string kMicrocodeHeading =
    "\n"
    "                          ** Micro Code Information **\n"
    "Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID\n"
    "------------------+--------------------+--------------------+-------------------\n";

std::string frame(const std::string& name) {
    char title[80];
    std::snprintf(title, sizeof title, "              ******** %12s BIOS component ********\n", name.c_str());
    return std::string("\n") + title +
           "\n"
           " No. Item-Name         Original-Size   Compressed-Size Original-File-Name \n"
           "================================================================================\n";
}

// The listing's standard output; it writes nothing on the console channel.
std::string list(const SyntheticImage& image) {
    Listing got = list_image(image);
    EXPECT_EQ(got.err, "");
    return got.out;
}

// 256 KB, system BIOS at 0, area end 0x2F000, one good member at 0x10000;
// returns the position after it.
SyntheticImage image_with_one_member(std::uint32_t& next) {
    SyntheticImage image(256 * testkit::KB);
    image.put_member(0, stored_member(0x5000, 0, "SYSBIOS.BIN", 0xE000));
    BbssFields bbss;
    bbss.w8 = 0xE000;
    bbss.w12 = 0xF000;
    image.put_bbss(bbss);
    next = image.put_member(0x10000, stored_member(0x4080, 0, "VGA.ROM", 0x2000));
    return image;
}

const std::string kOneMemberRows =
    "  0. System BIOS       0E000h(56.00K)   10000h(64.00K)  SYSBIOS.BIN\n"
    "  1. VGA ROM[1]        02000h(8.00K)    02023h(8.03K)   VGA.ROM\n"
    "\n"
    "  Total compress code space  = 2F000h(188.00K)\n"
    "  Total compressed code size = 12023h(72.03K)\n"
    "  Remain compress code space = 1CFDDh(115.97K)\n";

TEST(ListingDamage, MemberRunningPastTheEndOfTheFileEndsTheRows) {
    testkit::WorkDir dir;
    for (std::uint32_t packed : {0x30000u, 0xFFFFFFF0u}) {  // past the end; wrapping 32 bits
        SCOPED_TRACE(packed);
        std::uint32_t next = 0;
        SyntheticImage image = image_with_one_member(next);
        std::vector<std::uint8_t> bad = testkit::member_bytes(stored_member(0x4086, 0, "PCI.ROM", 0x100));
        for (int i = 0; i < 4; ++i) bad[7 + i] = static_cast<std::uint8_t>(packed >> (8 * i));
        image.put_member(next, bad);
        EXPECT_EQ(list(image), frame("img.bin") + kOneMemberRows + kMicrocodeHeading);
    }
}

TEST(ListingDamage, NameLengthBeyondItsHeaderStopsAtTheHeader) {
    testkit::WorkDir dir;
    std::uint32_t next = 0;
    SyntheticImage image = image_with_one_member(next);
    testkit::MemberFields m = stored_member(0x4086, 0, "PCI.ROM", 0x100);
    m.data.assign(0x100, 'Z');
    m.data_crc = 0x4241;  // "AB" after the name
    std::vector<std::uint8_t> bytes = testkit::member_bytes(m);
    bytes[21] = 0xFF;  // N = 255 in a header of H = 32
    image.put_member(next, bytes);
    // Bytes 22 to 33: the name, the CRC, the OS byte, then the 0 of the
    // extension size ends it. The data ('Z') is never shown.
    std::string out = list(image);
    EXPECT_NE(out.find("  2. PCI ROM[A]        00100h(0.25K)    00123h(0.28K)   PCI.ROMAB \n"), std::string::npos)
        << out;
}

TEST(ListingDamage, FilesSmallerThanTheBootBlock) {
    testkit::WorkDir dir;
    // 16 KB of erased flash holding stray records: slots and pointers that
    // lie outside the file show nothing.
    SyntheticImage tiny(16 * testkit::KB);
    tiny.put_text(0x00, "*BT-VGA*");
    tiny.put16(0x08, 0x0100);
    tiny.put16(0x0A, 0x0200);
    tiny.put_text(0x10, "*NVDAMM*");
    tiny.put16(0x18, 0x0100);
    tiny.put16(0x1A, 0x0200);
    tiny.put_bs1(0x100, 0xFFFF0000);  // 64 KB below the top: before this file
    tiny.put_text(0x200, "*ALIN16*");
    EXPECT_EQ(list(tiny), frame("img.bin") +
                              "  0. System BIOS                        04000h(16.00K)\n"
                              "\n"
                              "  Total compress code space  = 04000h(16.00K)\n"
                              "  Total compressed code size = 04000h(16.00K)\n"
                              "  Remain compress code space = 00000h(0.00K)\n" +
                              kMicrocodeHeading);

    SyntheticImage empty(0);
    EXPECT_EQ(list(empty), frame("img.bin") +
                               "  0. System BIOS                        00000h(0.00K)\n"
                               "\n"
                               "  Total compress code space  = 00000h(0.00K)\n"
                               "  Total compressed code size = 00000h(0.00K)\n"
                               "  Remain compress code space = 00000h(0.00K)\n" +
                               kMicrocodeHeading);
}

TEST(ListingDamage, ErasedChainStartListsTheSystemBiosOnly) {
    testkit::WorkDir dir;
    std::uint32_t next = 0;
    SyntheticImage image = image_with_one_member(next);
    image.fill(0x10000, 0x40, 0xFF);  // the first chain member erased
    EXPECT_EQ(list(image), frame("img.bin") +
                               "  0. System BIOS       0E000h(56.00K)   10000h(64.00K)  SYSBIOS.BIN\n"
                               "\n"
                               "  Total compress code space  = 2F000h(188.00K)\n"
                               "  Total compressed code size = 10000h(64.00K)\n"
                               "  Remain compress code space = 1F000h(124.00K)\n" +
                               kMicrocodeHeading);
}

TEST(ListingDamage, LongImageNameIsPrintedWhole) {
    testkit::WorkDir dir;
    std::uint32_t next = 0;
    SyntheticImage image = image_with_one_member(next);
    image.save("a-rather-long-name.bin");
    testkit::RunResult run = testkit::run_tool({"a-rather-long-name.bin", "/D"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "MOZAIK32 V1.52 [08/17/05 Release]\n" + frame("a-rather-long-name.bin") + kOneMemberRows +
                           kMicrocodeHeading);
}

}  // namespace
