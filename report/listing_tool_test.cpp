// The listing through the real binary, as a build script captures it into a
// log: the same table a person sees on an 80-column console.
#include <gtest/gtest.h>

#include <string>

#include "testkit/listing_showcase.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

const std::string kShowcaseListing =
    "MOZAIK32 V1.52 [08/17/05 Release]\n"
    "\n"
    "              ********     demo.bin BIOS component ********\n"
    "\n"
    " No. Item-Name         Original-Size   Compressed-Size Original-File-Name \n"
    "================================================================================\n"
    "  0. System BIOS       0E000h(56.00K)   10000h(64.00K)  SYSBIOS.BIN\n"
    "  1. VGA ROM[1]        02000h(8.00K)    02023h(8.03K)   VGA.ROM\n"
    "  2. PCI ROM[A]        01800h(6.00K)    01823h(6.03K)   PCI.ROM\n"
    "  3. CPU micro code    01800h(6.00K)    01827h(6.04K)   CPUCODE.BIN\n"
    "  4. JPEG ENGINE  00800h(2.00K)         00828h(2.04K)   KRV-JPEG.BIN\n"
    "  5. Other(9000:0000)  00400h(1.00K)    00423h(1.03K)   OEM.BIN\n"
    "(SP) NCPUCODE          01800h(6.00K)    01800h(6.00K)   NCPUCODE.BIN\n"
    "(BB) Compress BT-VGA   03000h(12.00K)   03000h(12.04K)  VGABIOS.ROM\n"
    "\n"
    "  Total compress code space  = 2F000h(188.00K)\n"
    "  Total compressed code size = 174B8h(93.18K)\n"
    "  Remain compress code space = 17B48h(94.82K)\n"
    "\n"
    " ****** On Board VGA ROM In BootBlock ******\n"
    "\n"
    " *** NVMM NV44 DDR REV 1.02 * Start Offset => 2000, End Offset => 3000 ***\n"
    "\n"
    "                          ** Micro Code Information **\n"
    "Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID  |  Update ID  CPUID\n"
    "------------------+--------------------+--------------------+-------------------\n"
    // Boot-block table, then the chain's component, then the top-placed block.
    "MOBILE 30   06B1  |  MOBILE 31   06B1  |  MOBILE 32   06B1  |  MOBILE 33   06B1\n"
    "MOBILE 34   06B1  |  SERVER 0A   0F12  |  SLOT1  0B   0633  |  PGA478 0C   0F24\n"
    "MOBILE 20   06B1  |  PPGA   21   0686  |  ";  // the report has no line end of its own

TEST(ListingTool, LogOfEveryKindOfRow) {
    testkit::WorkDir dir;
    testkit::listing_showcase_image().save("demo.bin");
    testkit::RunResult run = testkit::run_tool({"demo.bin", "/D"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, kShowcaseListing);
    // The image is unchanged.
    EXPECT_EQ(testkit::slurp("demo.bin"), testkit::listing_showcase_image().bytes);
}

}  // namespace
