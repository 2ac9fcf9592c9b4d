// Whole /D listings of synthetic images, compared line by line with the
// text a person sees on an 80-column console.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/console.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "report/listing.hpp"
#include "report/listing_testing.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

using testkit::BbssFields;
using testkit::stored_member;
using testkit::SyntheticImage;

std::string lines(const std::vector<std::string>& text) {
    std::string out;
    for (const std::string& line : text) out += line + "\n";
    return out;
}

// Title, column header and rule for an image named img.bin.
const std::vector<std::string> kFrame = {
    "",
    "              ********      img.bin BIOS component ********",
    "",
    " No. Item-Name         Original-Size   Compressed-Size Original-File-Name ",
    "================================================================================",
};

const std::vector<std::string> kEmptyIntelTable = {
    "",
    "                          ** Micro Code Information **",
    "Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID",
    "------------------+--------------------+--------------------+-------------------",
};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Listing list(const SyntheticImage& image) {
    return list_image(image);
}

// A 256 KB image with the system BIOS member at 0 and a "*BBSS*" record that
// ends the compressed area at 0x2F000.
SyntheticImage small_image_with_system_bios() {
    SyntheticImage image(256 * testkit::KB);
    image.put_member(0, stored_member(0x5000, 0, "SYSBIOS.BIN", 0xE000));
    BbssFields bbss;
    bbss.w8 = 0xE000;
    bbss.w12 = 0xF000;
    image.put_bbss(bbss);
    return image;
}

TEST(Listing, SmallImageWithSystemBiosMember) {
    testkit::WorkDir dir;
    SyntheticImage image = small_image_with_system_bios();
    image.put_chain(0x10000,
                    {stored_member(0x4080, 0, "VGA.ROM", 0x2000), stored_member(0x4086, 0, "PCI.ROM", 0x1800),
                     stored_member(0x9000, 0, "CPUCODE.BIN", 0x1234), stored_member(0x405C, 0, "KRV-JPEG.BIN", 0x800)});
    Listing got = list(image);
    // The 11-character "JPEG ENGINE" moves its original size five places left;
    // the space and the name stay in columns 40 and 56.
    EXPECT_EQ(got.out, lines(kFrame +
                             std::vector<std::string>{
                                 "  0. System BIOS       0E000h(56.00K)   10000h(64.00K)  SYSBIOS.BIN",
                                 "  1. VGA ROM[1]        02000h(8.00K)    02023h(8.03K)   VGA.ROM",
                                 "  2. PCI ROM[A]        01800h(6.00K)    01823h(6.03K)   PCI.ROM",
                                 "  3. Other(9000:0000)  01234h(4.55K)    0125Bh(4.59K)   CPUCODE.BIN",
                                 "  4. JPEG ENGINE  00800h(2.00K)         00828h(2.04K)   KRV-JPEG.BIN",
                                 "",
                                 "  Total compress code space  = 2F000h(188.00K)",
                                 "  Total compressed code size = 152C9h(84.70K)",
                                 "  Remain compress code space = 19D37h(103.30K)",
                             } +
                             kEmptyIntelTable));
    EXPECT_EQ(got.err, "");
}

TEST(Listing, SmallImageWithSystemBiosInTheBootBlock) {
    testkit::WorkDir dir;
    SyntheticImage image(256 * testkit::KB);
    // Components from offset 0; the system BIOS member at top_base.
    image.put_chain(0, {stored_member(0x4080, 0, "VGA.ROM", 0x4000), stored_member(0x4000, 0, "LOGO.BMP", 0x1000)});
    image.put_member(0x20000, stored_member(0x5000, 0, "SYSBIOS.BIN", 0x12000));
    Listing got = list(image);
    // The total is the system BIOS's space plus the lower part up to top_base.
    EXPECT_EQ(got.out, lines(kFrame +
                             std::vector<std::string>{
                                 "  0. System BIOS       12000h(72.00K)   12028h(72.04K)  SYSBIOS.BIN",
                                 "  1. VGA ROM[1]        04000h(16.00K)   04023h(16.03K)  VGA.ROM",
                                 "  2. LOGO BitMap       01000h(4.00K)    01024h(4.04K)   LOGO.BMP",
                                 "",
                                 "  Total compress code space  = 32028h(200.04K)",
                                 "  Total compressed code size = 1706Fh(92.11K)",
                                 "  Remain compress code space = 1AFB9h(107.93K)",
                             } +
                             kEmptyIntelTable));
}

TEST(Listing, LargeImageWithMicrocodeBlock) {
    testkit::WorkDir dir;
    SyntheticImage image(512 * testkit::KB);
    // The first "-lh" decides where the system BIOS member is.
    std::uint32_t chain = image.put_member(0x40, stored_member(0x5000, 0, "SYSBIOS.BIN", 0x9000));
    ASSERT_LT(chain, 0x10040u);
    image.put_member(0x10040, stored_member(0x4087, 0, "NIC.ROM", 0x3000));
    BbssFields bbss;
    bbss.window = 1;
    bbss.offset = 0x4000;
    bbss.w8 = 0xE000;
    bbss.w12 = 0xC123;  // area end 0x7C000
    image.put_bbss(bbss);
    image.put_ncpu_block(0x7C000, std::vector<std::uint8_t>(0x1000, 0x5A));
    Listing got = list(image);
    // The block's length counts as used space but is no chain member.
    EXPECT_EQ(got.out, lines(kFrame +
                             std::vector<std::string>{
                                 "  0. System BIOS       09000h(36.00K)   10000h(64.00K)  SYSBIOS.BIN",
                                 "  1. PCI ROM[B]        03000h(12.00K)   03023h(12.03K)  NIC.ROM",
                                 "(SP) NCPUCODE          01000h(4.00K)    01000h(4.00K)   NCPUCODE.BIN",
                                 "",
                                 "  Total compress code space  = 7BFC0h(495.94K)",
                                 "  Total compressed code size = 14023h(80.03K)",
                                 "  Remain compress code space = 67F9Dh(415.90K)",
                             } +
                             kEmptyIntelTable));
}

TEST(Listing, BankedImage) {
    testkit::WorkDir dir;
    SyntheticImage image(1024 * testkit::KB);
    std::uint32_t at = image.put_member(0, stored_member(0x5000, 0, "SYSBIOS.BIN", 0x18000));
    ASSERT_EQ(at, 0x18027u);
    image.put_chain(0x18028,
                    {stored_member(0x40A0, 0, "ISA_A.ROM", 0x800), stored_member(0x40A4, 0, "ISA_1.ROM", 0x600),
                     stored_member(0x4029, 0, "GROUP0.BIN", 0x400), stored_member(0x4044, 0, "GROUP27.BIN", 0x200)});
    BbssFields bbss;
    bbss.window = 1;
    bbss.w6 = 0x100E;  // bank 14, bank block at page 0x1000
    bbss.w8 = 0xE001;  // low bits set: the banked form
    bbss.w12 = 0xA000;
    bbss.bank_length = 0x2000;
    image.put_bbss(bbss);
    Listing got = list(image);
    EXPECT_EQ(got.out, lines(kFrame +
                             std::vector<std::string>{
                                 "  0. System BIOS       18000h(96.00K)   18028h(96.04K)  SYSBIOS.BIN",
                                 "  1. ISA ROM[A]        00800h(2.00K)    00825h(2.04K)   ISA_A.ROM",
                                 "  2. ISA ROM[1]        00600h(1.50K)    00625h(1.54K)   ISA_1.ROM",
                                 "  3. GROUP ROM[ 0]     00400h(1.00K)    00426h(1.04K)   GROUP0.BIN",
                                 "  4. GROUP ROM[27]     00200h(0.50K)    00227h(0.54K)   GROUP27.BIN",
                                 "",
                                 "  Total compress code space  = FA000h(1000.00K)",
                                 "  Total compressed code size = 194BFh(101.19K)",
                                 "  Remain compress code space = E0B41h(898.81K)",
                             } +
                             kEmptyIntelTable));
}

TEST(Listing, EmptyChainCountsSystemBiosAndMicrocodeBlock) {
    testkit::WorkDir dir;
    SyntheticImage image(128 * testkit::KB);
    image.put_member(0, stored_member(0x5000, 0, "SYSBIOS.BIN", 0xE000));
    BbssFields bbss;
    bbss.window = 1;
    bbss.offset = 0xF000;
    bbss.w8 = 0xE000;
    bbss.w12 = 0xC000;  // area end 0x1C000
    image.put_bbss(bbss);
    image.put_ncpu_block(0x1C000, std::vector<std::uint8_t>(0x800, 0x00));
    Listing got = list(image);
    EXPECT_EQ(got.out, lines(kFrame +
                             std::vector<std::string>{
                                 "  0. System BIOS       0E000h(56.00K)   10000h(64.00K)  SYSBIOS.BIN",
                                 "(SP) NCPUCODE          00800h(2.00K)    00800h(2.00K)   NCPUCODE.BIN",
                                 "",
                                 "  Total compress code space  = 1C000h(112.00K)",
                                 "  Total compressed code size = 10800h(66.00K)",
                                 "  Remain compress code space = 0B800h(46.00K)",
                             } +
                             kEmptyIntelTable));
}

TEST(Listing, ChainOverrunningItsAreaWrapsTheRemainingSpace) {
    testkit::WorkDir dir;
    SyntheticImage image = small_image_with_system_bios();
    BbssFields bbss;
    bbss.w8 = 0xE000;
    bbss.w12 = 0x3000;  // area end 0x23000
    image.put_bbss(bbss);
    image.put_member(0x10000, stored_member(0x7000, 0, "BIG.BIN", 0x130DD));  // ends at 0x23100
    Listing got = list(image);
    EXPECT_EQ(got.out, lines(kFrame +
                             std::vector<std::string>{
                                 "  0. System BIOS       0E000h(56.00K)   10000h(64.00K)  SYSBIOS.BIN",
                                 "  1. Other(7000:0000)  130DDh(76.22K)   13100h(76.25K)  BIG.BIN",
                                 "",
                                 "  Total compress code space  = 23000h(140.00K)",
                                 "  Total compressed code size = 23100h(140.25K)",
                                 "  Remain compress code space = FFFFFF00h(4194303.75K)",
                             } +
                             kEmptyIntelTable));
}

TEST(Listing, EverySlotNameAndTwoDigitRowNumbers) {
    testkit::WorkDir dir;
    SyntheticImage image = small_image_with_system_bios();
    const std::string vga = "123456", pci = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::vector<testkit::MemberFields> members;
    for (int i = 0; i < 32; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "ROM%02d.BIN", i + 1);
        members.push_back(stored_member(static_cast<std::uint16_t>(0x4080 + i), 0, name, 16));
    }
    image.put_chain(0x10000, members);
    std::vector<std::string> rows = {"  0. System BIOS       0E000h(56.00K)   10000h(64.00K)  SYSBIOS.BIN"};
    for (int i = 0; i < 32; ++i) {
        char number[8], name[16];
        std::snprintf(number, sizeof number, "%3d. ", i + 1);
        std::snprintf(name, sizeof name, "ROM%02d.BIN", i + 1);
        std::string item =
            i < 6 ? std::string("VGA ROM[") + vga[i] + "]      " : std::string("PCI ROM[") + pci[i - 6] + "]      ";
        rows.push_back(number + item + "  00010h(0.02K)    00035h(0.05K)   " + name);
    }
    Listing got = list(image);
    // 0x10000 + 32 * 0x35 = 0x106A0; 0x2F000 - 0x106A0 = 0x1E960.
    EXPECT_EQ(got.out, lines(kFrame + rows +
                             std::vector<std::string>{
                                 "",
                                 "  Total compress code space  = 2F000h(188.00K)",
                                 "  Total compressed code size = 106A0h(65.66K)",
                                 "  Remain compress code space = 1E960h(122.34K)",
                             } +
                             kEmptyIntelTable));
}

TEST(Listing, LongOriginalSizeIsOverwrittenAtColumn40AsOnTheConsole) {
    testkit::WorkDir dir;
    SyntheticImage image = small_image_with_system_bios();
    testkit::MemberFields vga = stored_member(0x4080, 0, "VGA.ROM", 0x2000);
    vga.original_size = 0x12345678;
    image.put_member(0x10000, vga);
    Listing got = list(image);
    EXPECT_NE(got.out.find("\n  1. VGA ROM[1]        12345678h(298261.02023h(8.03K)   VGA.ROM\n"), std::string::npos)
        << got.out;
}

TEST(Listing, SystemBiosSpaceIsAtLeast64KAndNeverPastTheFile) {
    EXPECT_EQ(system_bios_space(0, 23, 0xE000, 0x40000), 0x10000u);
    EXPECT_EQ(system_bios_space(0, 23, 0xFFD8, 0x40000), 0x10000u);  // H + P + 3 = 0xFFF2
    EXPECT_EQ(system_bios_space(0, 23, 0x10000, 0x40000), 0x1001Bu);
    EXPECT_EQ(system_bios_space(0x20000, 36, 0x12000, 0x40000), 0x12028u);
    // Cut at the end of the file, whatever the header claims.
    EXPECT_EQ(system_bios_space(0x30000, 36, 0x12000, 0x40000), 0x10000u);
    EXPECT_EQ(system_bios_space(0x38000, 36, 0xFFFFFFF0, 0x40000), 0x8000u);
    EXPECT_EQ(system_bios_space(0x40000, 36, 0x100, 0x40000), 0u);
}

TEST(Listing, SecondListingInOneRunStartsAgainFromRowZero) {
    testkit::WorkDir dir;
    SyntheticImage image = small_image_with_system_bios();
    image.put_chain(0x10000, {stored_member(0x4080, 0, "VGA.ROM", 0x2000)});
    image.save("img.bin");
    std::optional<BiosImage> opened = open_image("img.bin").image;
    ASSERT_TRUE(opened.has_value());
    ImageWriter writer(*opened);
    GroupRequest group;
    RomSlots slots;
    std::string first, second;
    {
        console::Capture cap;
        list_components(Operand{group, writer, slots});
        first = cap.out();
    }
    console::Capture cap;
    list_components(Operand{group, writer, slots});
    second = cap.out();
    EXPECT_EQ(second, first);
    EXPECT_NE(first.find("  1. VGA ROM[1]  "), std::string::npos);
    EXPECT_EQ(first.find("  2. "), std::string::npos);
}

}  // namespace
