// The closing fix-ups on whole images, checked against sums computed here.
#include "image/fixups.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "image/bios_image.hpp"
#include "image/image_file.hpp"
#include "testkit/components.hpp"
#include "testkit/extract_kit.hpp"
#include "testkit/workdir.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testkit::KB;
using testkit::SyntheticImage;

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint8_t sum8(const Bytes& b, std::size_t from, std::size_t to) {
    return testkit::byte_sum(std::span(b).subspan(from, to - from));
}

// A 256 KB image: system BIOS at 0, a member, the record in the upper window
// (check bytes at 0x3DFFE, "IMD$" block at 0x3F000).
SyntheticImage plain(bool imd_reset) {
    SyntheticImage img(256 * KB);
    img.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x9000, 0x42));
    img.put_member(0x10000, testkit::stored_member(0x4080, 0, "VGA.ROM", 0x3000, 0x17));
    img.put_bbss({.window = 1, .offset = 0xE000, .w8 = 0xD000, .w12 = 0xB000, .w18 = 0xF000, .imd_reset = imd_reset});
    img.put16(0x3DFFE, 0x3412);
    return img;
}

struct FixCase {
    const char* what;
    std::function<SyntheticImage()> make;
    std::function<void(FixupRequest&, BiosImage&)> run;  // what the run did before the fix-ups
    bool word_sum_zero, byte_sum_zero;
    std::function<void(const Bytes& before, const Bytes& after)> check;
};

TEST(Fixups, PointersCheckBytesAndSums) {
    constexpr std::uint32_t kCheck = 0x3DFFE;
    const auto area_check_bytes = [](const Bytes& before, const Bytes& after) {
        const std::uint8_t s = sum8(after, 0, kCheck);
        EXPECT_EQ(after[kCheck], s);
        EXPECT_EQ(after[kCheck + 1], static_cast<std::uint8_t>(s - before[kCheck] + before[kCheck + 1]));
    };
    const auto nothing = [](FixupRequest&, BiosImage&) {};
    const std::vector<FixCase> cases = {
        {"an image without an IMD area", [] { return plain(false); }, nothing, true, false, area_check_bytes},
        {"an IMD area is erased and carries the byte sum", [] { return plain(true); }, nothing, true, true,
         [&](const Bytes& before, const Bytes& after) {
             area_check_bytes(before, after);
             // Groups 00 00 FE FF follow the balancing word, then erased bytes.
             std::size_t at = 0x3F002;
             while (at + 4 <= 0x3F400 && after[at] == 0 && after[at + 1] == 0 && after[at + 2] == 0xFE &&
                    after[at + 3] == 0xFF)
                 at += 4;
             for (; at < 0x3F400; ++at) EXPECT_EQ(after[at], 0xFF) << std::hex << at;
         }},
        {"an area marked IMD$ keeps its sums",
         [] {
             SyntheticImage img = plain(true);
             img.put_text(0x3F000, "IMD$");
             return img;
         },
         nothing, false, false,
         [&](const Bytes& before, const Bytes& after) {
             area_check_bytes(before, after);
             for (std::size_t i = 0; i < after.size(); ++i)
                 if (i != kCheck && i != kCheck + 1) {
                     ASSERT_EQ(after[i], before[i]) << std::hex << i;
                 }
         }},
        {"no boot record: no check bytes are written",
         [] {
             SyntheticImage img(256 * KB);
             img.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x9000, 0x42));
             return img;
         },
         nothing, true, false,
         [](const Bytes& before, const Bytes& after) {
             EXPECT_EQ(after[0xFFE], before[0xFFE]);
             EXPECT_EQ(after[0xFFF], before[0xFFF]);
         }},
        {"a moved free pointer is written and moves the check bytes",
         [] {
             SyntheticImage img = plain(false);
             img.put_bs1(0x3B800, img.physical(0x3A000));
             return img;
         },
         [](FixupRequest&, BiosImage& image) { image.free_pointer = 0x39F00; }, true, false,
         [](const Bytes& before, const Bytes& after) {
             EXPECT_EQ(le32(after, 0x3B800 + 11), 0x39F00u - 256 * KB);
             const int d = sum8(after, 0x3B80B, 0x3B80F) - sum8(before, 0x3B80B, 0x3B80F);
             const std::uint8_t s = sum8(after, 0, kCheck);
             EXPECT_EQ(after[kCheck], s);
             EXPECT_EQ(after[kCheck + 1],
                       static_cast<std::uint8_t>(s - before[kCheck] - d + before[kCheck + 1] + 2 * d));
         }},
        {"no pointer is known: the *BS1 bytes stay",
         [] {
             SyntheticImage img = plain(false);
             img.put_bs1(0x3B800, 0xFFFFFFFF);
             return img;
         },
         [](FixupRequest& run, BiosImage&) { run.top_block_named = true; }, true, false,
         [](const Bytes&, const Bytes& after) { EXPECT_EQ(le32(after, 0x3B800 + 11), 0xFFFFFFFFu); }},
        {"a banked record in the upper window sums its bank block",
         [] {
             SyntheticImage img(512 * KB);
             img.put_member(0x100, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x9000, 0x42));
             img.put_bbss(
                 {.window = 1, .offset = 0x8000, .w6 = 0x3009, .w8 = 0xE001, .w12 = 0xD000, .bank_length = 0x1800});
             img.fill(0x73000 + 0x20, 0x100, 0x5A);
             return img;
         },
         [](FixupRequest& run, BiosImage&) { run.top_block_named = true; }, true, false,
         [](const Bytes&, const Bytes& after) {
             EXPECT_EQ(after[0x73000 + 0x1800 - 1], sum8(after, 0x73000, 0x73000 + 0x1800 - 1));
         }},
    };
    for (const FixCase& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::WorkDir dir;
        c.make().save("img.bin");
        const Bytes before = testkit::slurp("img.bin");
        {
            std::optional<BiosImage> image = open_image("img.bin").image;
            ASSERT_TRUE(image);
            FixupRequest run;
            c.run(run, *image);
            ImageWriter writer(*image);
            close_image_bookkeeping(writer, run);
            save_image(*image);
            const FileSums sums = file_sums(*image);
            EXPECT_EQ(sums.words == 0, c.word_sum_zero);
            if (c.byte_sum_zero) {
                EXPECT_EQ(sums.bytes, 0);
            }
        }
        const Bytes after = testkit::slurp("img.bin");
        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(testkit::word_sum(after) == 0, c.word_sum_zero);
        if (c.byte_sum_zero) {
            EXPECT_EQ(testkit::byte_sum(after), 0);
        }
        c.check(before, after);
    }
}

}  // namespace
