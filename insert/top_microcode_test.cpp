// /NC_CPUCODE through the real binary: the block at the top of the
// compressed area, the "*BS1" pointer the fix-ups write, the next listing,
// and later groups of the same run that see the new block.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "insert/add_testing.hpp"
#include "testkit/components.hpp"
#include "testkit/corpus.hpp"
#include "testkit/microcode_builder.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testkit::KB;

constexpr std::uint32_t kSize = 512 * KB;
constexpr std::uint32_t kAreaEnd = 0x7B000;
constexpr std::uint32_t kBs1 = kSize - 0x4800;

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return add_testing::le32(b, at);
}

// System BIOS at 0, the chain from 0x10000 (`members`), the area ending at
// 0x7B000 with an old 0x800-byte block below it, "*BS1" pointing at that block.
testkit::SyntheticImage image(const std::vector<testkit::MemberFields>& members = {}) {
    testkit::SyntheticImage img(kSize);
    img.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x9000));
    img.put_chain(0x10000, members);
    img.put_bbss({.window = 1, .offset = 0xE000, .w8 = 0xD000, .w12 = 0xB000, .w18 = 0xF000});
    const std::uint32_t old = img.put_ncpu_block(kAreaEnd, Bytes(0x800, 0x77));
    img.put_bs1(kBs1, img.physical(old));
    return img;
}

struct Case {
    const char* what;
    std::vector<testkit::MemberFields> members;
    std::map<std::string, Bytes> files;
    std::vector<std::string> args;
    std::string err;
    std::uint32_t block = 0;  // the new block's length; 0xFFFFFFFF: the image is unchanged
    std::function<void(const Bytes&)> check = nullptr;
};

TEST(TopMicrocode, BlockPointerAndLaterGroups) {
    const Bytes big = testkit::corpus(testkit::CorpusKind::Code, 0x4000, 2);
    const Bytes small = testkit::corpus(testkit::CorpusKind::Code, 0x400, 3);
    const std::vector<Case> cases = {
        {"a block longer than the old one",
         {},
         {{"cpu.exe", testkit::dos_executable(big)}},
         {"/NC_CPUCODE", "cpu.exe"},
         "",
         0x4000,
         [&](const Bytes& img) {
             EXPECT_TRUE(std::equal(big.begin(), big.end(), img.begin() + kAreaEnd - 32 - 0x4000));
         }},
        {"a shorter block leaves erased space below it",
         {},
         {{"cpu.exe", testkit::dos_executable(small)}},
         {"/NC_CPUCODE", "cpu.exe"},
         "",
         0x400,
         [](const Bytes& img) {
             for (std::uint32_t at = kAreaEnd - 32 - 0x800; at < kAreaEnd - 32 - 0x400; ++at) ASSERT_EQ(img[at], 0xFF);
         }},
        {"a file that is no executable gives an empty block",
         {},
         {{"cpu.bin", small}},
         {"/NC_CPUCODE", "cpu.bin"},
         "",
         0},
        {"an NC-CPUCODE member of the chain is replaced",
         {testkit::stored_member(0x4056, 0, "OLDNC.BIN", 0x300), testkit::stored_member(0x4008, 0, "F.BIN", 0x100)},
         {{"cpu.exe", testkit::dos_executable(small)}},
         {"/NC_CPUCODE", "cpu.exe"},
         "",
         0x400,
         [](const Bytes& img) {
             EXPECT_EQ(add_testing::segments(add_testing::chain_of(img)), std::vector<std::uint16_t>{0x4008});
         }},
        {"more than 64 KiB",
         {},
         {{"cpu.exe", testkit::dos_executable(Bytes(0x10001, 1))}},
         {"/NC_CPUCODE", "cpu.exe"},
         "img.bin have not enough space for adding ROM. (Over 0001h bytes)\n\n",
         0xFFFFFFFF},
        {"a block that does not fit above the chain",
         {testkit::stored_member(0x4010, 0, "FILL.BIN", 0x63FDC)},
         {{"cpu.exe", testkit::dos_executable(Bytes(0x8000, 1))}},
         {"/NC_CPUCODE", "cpu.exe"},
         "img.bin have not enough space for adding ROM. (Over 1020h bytes)\n\n",
         0xFFFFFFFF},
        {"a later add in the run stops at the new block",
         {testkit::stored_member(0x4010, 0, "FILL.BIN", 0x63FDC)},
         {{"cpu.exe", testkit::dos_executable(big)}, {"r.bin", testkit::corpus(testkit::CorpusKind::Random, 0x3000)}},
         {"/NC_CPUCODE", "cpu.exe", "/fnt0", "r.bin"},
         "img.bin have not enough space for adding ROM. (Over 0041h bytes)\n\n",
         0x4000},
        {"a block that fills its room exactly; an add after it finds the area full",
         {testkit::stored_member(0x4015, 0, "FILL.BIN", 0x69FBC)},  // OEM3: content of any form
         {{"cpu.exe", testkit::dos_executable(testkit::intel_microcode({.total_size = 0x1000}))},
          {"r.bin", testkit::corpus(testkit::CorpusKind::Random, 100)}},
         {"/NC_CPUCODE", "cpu.exe", "/fnt0", "r.bin"},
         "img.bin have not enough space for adding ROM. (Over 0085h bytes)\n\n",
         0x1000,
         [](const Bytes&) {
             const auto check = add_testing::tool({"/verify"});
             EXPECT_EQ(check.status, 0) << check.out;
             EXPECT_NE(check.out.find("chain ends at 79FE0h: at the top block"), std::string::npos) << check.out;
         }},
        {"a later release in the run closes its gap below the new block",
         {testkit::stored_member(0x4009, 0, "F1.BIN", 0x200), testkit::stored_member(0x4008, 0, "F.BIN", 0x100)},
         {{"cpu.exe", testkit::dos_executable(big)}},
         {"/NC_CPUCODE", "cpu.exe", "/fnt1", "release"},
         "",
         0x4000,
         [&](const Bytes& img) {
             EXPECT_TRUE(std::equal(big.begin(), big.end(), img.begin() + kAreaEnd - 32 - 0x4000));
             EXPECT_EQ(add_testing::segments(add_testing::chain_of(img)), std::vector<std::uint16_t>{0x4008});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::WorkDir dir;
        image(c.members).save("img.bin");
        for (const auto& [name, data] : c.files) testkit::spit(name, data);
        const Bytes before = testkit::slurp("img.bin");
        const testkit::RunResult r = add_testing::tool(c.args);
        std::string err = r.err;
        err.erase(0, err.find_first_not_of('.'));
        EXPECT_EQ(err, c.err);
        EXPECT_NE(r.out.find("Combine NCPUCODE.BIN file to img.bin...\n"), std::string::npos) << r.out;
        const Bytes after = testkit::slurp("img.bin");
        if (c.block == 0xFFFFFFFF) {
            EXPECT_TRUE(after == before) << "the image changed";
            continue;
        }
        const std::uint32_t start = kAreaEnd - 32 - c.block;
        EXPECT_EQ(std::string(after.begin() + kAreaEnd - 32, after.begin() + kAreaEnd - 24), "*ALIN16*");
        EXPECT_EQ(le32(after, kAreaEnd - 24), c.block);
        EXPECT_EQ(std::string(after.begin() + kAreaEnd - 16, after.begin() + kAreaEnd - 3),
                  std::string("NCPUCODE.BIN\0", 13));
        EXPECT_EQ(le32(after, kBs1 + 11), start - kSize) << "the *BS1 pointer";
        EXPECT_EQ(testkit::word_sum(after), 0);
        if (c.check) c.check(after);
        const testkit::RunResult listing = add_testing::tool({"/D"});
        if (c.block != 0) {
            char row[80];
            std::snprintf(row, sizeof row, "(SP) NCPUCODE          %05Xh", c.block);
            EXPECT_NE(listing.out.find(row), std::string::npos) << listing.out;
        }
    }
}

}  // namespace
