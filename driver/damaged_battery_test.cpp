// A battery of damaged images through the real binary: truncated files,
// records that point outside the file, chain lengths that wrap, names longer
// than their header, zeroed chain starts, huge original sizes. Every
// operation ends with a verdict (what it did, or why it refused, and a
// status of 0 or 1, never a crash), and the image changes only when an
// operation completed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <thread>

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
    // Cut inside a header, at and past the boot block's start, one byte
    // short of whole: a sample of the cuts the fuzz targets try by the
    // thousand.
    for (std::size_t size : {0u, 21u, 0x10005u, 0x1FFFFu, 0x20001u, 0x3E005u, 0x3FFFFu})
        images.emplace_back("cut at " + std::to_string(size), Bytes(good.begin(), good.begin() + size));
    const auto damaged = [&](std::string what, std::function<void(Bytes&)> f) {
        Bytes b = good;
        f(b);
        images.emplace_back(std::move(what), std::move(b));
    };
    // The same damages to the first member (packed) and to the last (stored).
    for (const std::uint32_t first : sound.positions) {
        const std::string at = " at " + std::to_string(first);
        for (std::uint32_t packed : {0xFFFFFFF0u, 0u})
            damaged("packed size " + std::to_string(packed) + at, [&](Bytes& b) { put32(b, first + 7, packed); });
        for (std::uint32_t original : {0xFFFFFFF0u, 0x01000000u})
            damaged("original size " + std::to_string(original) + at,
                    [&](Bytes& b) { put32(b, first + 11, original); });
        damaged("name length 255" + at, [&](Bytes& b) { b[first + 21] = 255; });
        for (std::uint8_t h : {0, 20})
            damaged("header size " + std::to_string(h) + at, [&](Bytes& b) { b[first] = h; });
        // Every header byte set; of the packed member's, cleared too.
        for (std::size_t i = 0; i < 27; ++i)
            for (std::uint8_t v : {0xFF, 0x00})
                if (v == 0xFF || first == sound.positions.front())
                    damaged("header byte " + std::to_string(i) + " = " + std::to_string(v) + at,
                            [&](Bytes& b) { b[first + i] = v; });
    }
    const std::uint32_t first = testkit::kChainStart;
    damaged("zeroed chain start", [&](Bytes& b) { std::fill(b.begin() + first, b.begin() + first + 64, 0); });
    damaged("erased chain start", [&](Bytes& b) { std::fill(b.begin() + first, b.begin() + first + 64, 0xFF); });
    damaged("*BS1 outside the file", [&](Bytes& b) { put32(b, b.size() - 0x4800 + 11, 0x12345678); });
    damaged("*BS1 at the file's start",
            [&](Bytes& b) { put32(b, b.size() - 0x4800 + 11, 0u - static_cast<std::uint32_t>(b.size())); });
    damaged("area end past the file", [&](Bytes& b) {
        b[0x3E000 + 12] = 0xFF;
        b[0x3E000 + 13] = 0xFF;
    });
    damaged("check block past the file", [&](Bytes& b) { b[0x3E000 + 9] = 0xFF; });
    damaged("slot end before its start", [&](Bytes& b) {
        b[0x3C000 + 10] = 0;
        b[0x3C000 + 11] = 0;
    });
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

bool has(const testkit::RunResult& r, const char* text) {
    return r.out.find(text) != std::string::npos || r.err.find(text) != std::string::npos;
}

// What the run said it did: the operation's own outcome, or one of the
// refusals the tool gives a damaged image; a changed image only after the
// first and none of the second.
struct Op {
    std::vector<std::string> args;
    std::string input;
    const char* done;  // the text of the operation done
    bool changes;      // when done, the image has changed
};

constexpr const char* kRefusals[] = {
    "is no BIOS image", "nothing released", "nothing added",        "unchanged", "Header sum error",
    "Bad table",        "Can't found",      "too large to extract", "no slot",   "have not enough space"};

// One image through every operation, in the folder `folder`.
void run_ops(const std::string& folder, const std::string& what, const Bytes& image) {
    const std::vector<Op> ops = {{{"/D"}, "", "Remain compress code space", false},
                                 {{"/vga", "extract", "/err"}, folder + "/out.bin\n", "is extracted to", false},
                                 {{"/verify"}, "", " members checked, ", false},
                                 {{"/unpack", folder + "/u"}, "", " unpacked into ", false},
                                 {{"/vga", "release", "/err"}, "", "ROM is release", true},
                                 {{"/fnt0", "font.bin", "/err"}, "", "Adding font.bin", true}};
    const std::string path = folder + "/img.bin";
    for (const Op& op : ops) {
        SCOPED_TRACE(what + ", " + op.args[0] + " " + (op.args.size() > 1 ? op.args[1] : ""));
        testkit::spit(path, image);
        std::filesystem::remove_all(folder + "/u");
        std::vector<std::string> args = {path};
        args.insert(args.end(), op.args.begin(), op.args.end());
        testkit::RunOptions o;
        o.input = op.input;
        const testkit::RunResult r = testkit::run_tool(args, o);
        const bool refused =
            std::any_of(std::begin(kRefusals), std::end(kRefusals), [&](const char* t) { return has(r, t); });
        EXPECT_TRUE(has(r, op.done) || refused) << "no verdict:\n" << r.out << r.err;
        EXPECT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status << "\n" << r.err;
        const Bytes after = testkit::slurp(path);
        ASSERT_EQ(after.size(), image.size());
        if (after != image) {
            EXPECT_TRUE(op.changes && has(r, op.done) && !refused) << "the image changed:\n" << r.out << r.err;
            EXPECT_EQ(r.status, 0) << "the image changed, but the run failed:\n" << r.out << r.err;
        }
        // /verify's count and its status tell the same.
        if (op.args[0] == "/verify" && has(r, op.done)) {
            EXPECT_EQ(r.status, has(r, " 0 problems found") ? 0 : 1) << r.out;
        }
    }
}

TEST(DamagedImages, EveryOperationEndsWithAVerdict) {
    testkit::WorkDir dir;
    testkit::spit("font.bin", Bytes(0x400, 0x5A));
    const std::vector<std::pair<std::string, Bytes>> images = battery();
    // Two folders side by side, one image each at a time: the two cores.
    std::vector<std::thread> workers;
    for (std::size_t w = 0; w < 2; ++w) {
        std::string folder = "w";
        folder += std::to_string(w);  // appended: GCC 12's Release build warns falsely on "w" + ...
        std::filesystem::create_directory(folder);
        workers.emplace_back([&images, folder, w] {
            for (std::size_t i = w; i < images.size(); i += 2) run_ops(folder, images[i].first, images[i].second);
        });
    }
    for (std::thread& t : workers) t.join();
}

}  // namespace
