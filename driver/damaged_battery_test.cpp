// A battery of damaged images through the real binary: truncated files,
// records that point outside the file, chain lengths that wrap, names longer
// than their header, zeroed chain starts, huge original sizes. Every
// operation ends with a verdict (status 0 or 1, never a crash), and the
// image changes only when an operation completed.
#include <gtest/gtest.h>

#include <functional>

#include "insert/add_testing.hpp"
#include "testkit/components.hpp"
#include "testkit/members.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4 && at + i < b.size(); ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A sound image: a packed VGA ROM and a stored member from 0x10000, a
// "*BS1" pointer and a "*BT-VGA*" slot record.
testkit::ChainImage base() {
    testkit::ChainImage c = testkit::chain_image(
        {testkit::member_bytes(testkit::packed_member(0x4080, 0, "VGA.ROM", testkit::option_rom({.size = 0x2000}))),
         testkit::member_bytes(testkit::stored_member(0x4008, 0, "F.BIN", 0x300))},
        testkit::kChainImageAreaEnd);
    c.image.put_slot_record(0x1C00, "*BT-VGA*", 0xC000, 0xD000);
    return c;
}

std::vector<std::pair<std::string, Bytes>> battery() {
    const testkit::ChainImage sound = base();
    const Bytes& good = sound.image.bytes;
    std::vector<std::pair<std::string, Bytes>> images;
    for (std::size_t size : {0u, 1u, 2u, 21u, 64u, 0x100u, 0x1000u, 0x9026u, 0x10000u, 0x10005u, 0x10030u, 0x10400u,
                             0x1FFFFu, 0x20000u, 0x20001u, 0x2A000u, 0x3B000u, 0x3E005u, 0x3FFFFu})
        images.emplace_back("cut at " + std::to_string(size), Bytes(good.begin(), good.begin() + size));
    for (std::size_t size = 0x3000; size < good.size(); size += 0x2000)
        images.emplace_back("cut at " + std::to_string(size), Bytes(good.begin(), good.begin() + size));
    const auto damaged = [&](std::string what, std::function<void(Bytes&)> f) {
        Bytes b = good;
        f(b);
        images.emplace_back(std::move(what), std::move(b));
    };
    // The same damages to the first member (packed) and to the last (stored).
    for (const std::uint32_t first : sound.positions) {
        const std::string at = " at " + std::to_string(first);
        for (std::uint32_t packed : {0xFFFFFFF0u, 0x7FFFFFFFu, 0x0003FFF0u, 0u})
            damaged("packed size " + std::to_string(packed) + at, [&](Bytes& b) { put32(b, first + 7, packed); });
        for (std::uint32_t original : {0xFFFFFFF0u, 0x01000000u, 0u})
            damaged("original size " + std::to_string(original) + at, [&](Bytes& b) { put32(b, first + 11, original); });
        for (std::uint8_t n : {200, 255, 40})
            damaged("name length " + std::to_string(n) + at, [&](Bytes& b) { b[first + 21] = n; });
        for (std::uint8_t h : {0, 1, 20, 255})
            damaged("header size " + std::to_string(h) + at, [&](Bytes& b) { b[first] = h; });
        for (std::size_t i = 0; i < 27; ++i)  // every header byte, cleared, set and halved
            for (std::uint8_t v : {0x00, 0xFF, 0x80})
                damaged("header byte " + std::to_string(i) + " = " + std::to_string(v) + at,
                        [&](Bytes& b) { b[first + i] = v; });
    }
    const std::uint32_t first = testkit::kChainStart;
    damaged("zeroed chain start", [&](Bytes& b) { std::fill(b.begin() + first, b.begin() + first + 64, 0); });
    damaged("erased chain start", [&](Bytes& b) { std::fill(b.begin() + first, b.begin() + first + 64, 0xFF); });
    damaged("*BS1 outside the file", [&](Bytes& b) { put32(b, b.size() - 0x4800 + 11, 0x12345678); });
    damaged("*BS1 at the file's start", [&](Bytes& b) { put32(b, b.size() - 0x4800 + 11, 0u - static_cast<std::uint32_t>(b.size())); });
    damaged("area end past the file", [&](Bytes& b) { b[0x3E000 + 12] = 0xFF; b[0x3E000 + 13] = 0xFF; });
    damaged("check block past the file", [&](Bytes& b) { b[0x3E000 + 9] = 0xFF; });
    damaged("slot end before its start", [&](Bytes& b) { b[0x3C000 + 10] = 0; b[0x3C000 + 11] = 0; });
    damaged("top block trailer with a huge length", [&](Bytes& b) {
        const std::uint32_t end = testkit::kChainImageAreaEnd;
        std::copy_n("*ALIN16*", 8, b.begin() + end - 32);
        put32(b, end - 24, 0xFFFFFFF0u);
        std::copy_n("NCPUCODE.BIN\0", 13, b.begin() + end - 16);
    });
    damaged("random bytes in the compressed data", [&](Bytes& b) {
        for (std::size_t i = 0; i < 64; ++i) b[first + 40 + i * 3] = static_cast<std::uint8_t>(i * 37);
    });
    return images;
}

TEST(DamagedImages, EveryOperationEndsWithAVerdict) {
    testkit::WorkDir dir;
    testkit::spit("font.bin", Bytes(0x400, 0x5A));
    struct Op {
        std::vector<std::string> args;
        std::string input;
        bool may_change;
    };
    const std::vector<Op> ops = {{{"/D"}, "", false},
                                 {{"/vga", "extract", "/err"}, "out.bin\n", false},
                                 {{"/verify"}, "", false},
                                 {{"/vga", "release", "/err"}, "", true},
                                 {{"/fnt0", "font.bin", "/err"}, "", true}};
    for (const auto& [what, image] : battery()) {
        for (const Op& op : ops) {
            SCOPED_TRACE(what + ", " + op.args[0] + " " + (op.args.size() > 1 ? op.args[1] : ""));
            testkit::spit("img.bin", image);
            std::vector<std::string> args = {"img.bin"};
            args.insert(args.end(), op.args.begin(), op.args.end());
            testkit::RunOptions o;
            o.input = op.input;
            const testkit::RunResult r = testkit::run_tool(args, o);
            EXPECT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status << "\n" << r.err;
            const Bytes after = testkit::slurp("img.bin");
            ASSERT_EQ(after.size(), image.size());
            if (after != image) {
                EXPECT_TRUE(op.may_change) << "the image changed";
                EXPECT_EQ(r.status, 0) << "the image changed, but the run failed:\n" << r.out << r.err;
            }
        }
    }
}

}  // namespace
