// The dry run's changed bytes outside the chain against a reading byte by
// byte of the same places, on the run layouts with changes dense, sparse and
// alternating with equal bytes, and with a top block placed in the chain's space.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "image/changes.hpp"
#include "image/image_writer.hpp"
#include "testkit/group_runs.hpp"
#include "testkit/workdir.hpp"

namespace {

// Each differing byte looked up in the places in their order, the chain's
// left out; a named place one range, "other" one range a stretch.
std::vector<ByteChange> one_by_one(const BiosImage& before, const BiosImage& after) {
    std::vector<std::pair<std::string, ByteRange>> named;
    const auto add = [&](Region region) {
        if (const std::optional<ByteRange> r = region_range(after, region); r && r->end > r->begin)
            named.emplace_back(region_name(after, region), *r);
    };
    for (Region r : {Region::Bs1Pointer, Region::CheckBytes, Region::BankCheckByte, Region::SumBytes, Region::TopBlock})
        add(r);
    named.emplace_back("chain", ByteRange{before.chain_start, chain_space_end(before)});
    for (Region r : {Region::BootVgaRoom, Region::BootVgaSlot, Region::MemorySlot}) add(r);
    std::vector<ByteChange> changes;
    for (std::uint32_t at = 0; at < before.bytes.size(); ++at) {
        const auto place =
            std::ranges::find_if(named, [at](const auto& p) { return at >= p.second.begin && at < p.second.end; });
        const std::string what = place == named.end() ? "other" : place->first;
        if (before.bytes[at] == after.bytes[at] || what == "chain") continue;
        ByteChange* last = changes.empty() ? nullptr : &changes.back();
        if (last && last->what == what && (what != "other" || last->offset + last->length == at))
            last->length = at - last->offset + 1;
        else
            changes.push_back({at, 1, what});
    }
    return changes;
}

std::string as_text(const std::vector<ByteChange>& changes) {
    std::string text;
    for (const ByteChange& c : changes)
        text += c.what + " " + std::to_string(c.offset) + "+" + std::to_string(c.length) + "\n";
    return text;
}

TEST(DryRunChanges, AsReadByteByByte) {
    const std::pair<const char*, std::function<void(std::vector<std::uint8_t>&)>> damage[] = {
        {"every byte",
         [](std::vector<std::uint8_t>& b) {
             for (std::uint8_t& x : b) x ^= 1;
         }},
        {"every third byte",
         [](std::vector<std::uint8_t>& b) {
             for (std::size_t i = 0; i < b.size(); i += 3) b[i] ^= 1;
         }},
        {"300 bytes in every 4 KB",
         [](std::vector<std::uint8_t>& b) {
             for (std::size_t i = 0; i < b.size(); ++i) b[i] ^= i % 4096 >= 1000 && i % 4096 < 1300;
         }},
    };
    testkit::WorkDir dir;
    std::vector<BiosImage> opened;
    for (const testkit::RunImage& image : testkit::run_images()) {
        testkit::spit("img.bin", image.bytes);
        std::optional<BiosImage> one = open_image("img.bin").image;
        ASSERT_TRUE(one) << image.name;
        opened.push_back(*one);
        for (const auto& [what, change] : damage) {
            BiosImage after = opened.back();
            change(after.bytes);
            EXPECT_EQ(as_text(byte_changes(opened.back(), after)), as_text(one_by_one(opened.back(), after)))
                << image.name << ", " << what;
        }
    }
    // A run that places a top block (below the area's end, in the chain's
    // space as the image was opened) and changes a member.
    ASSERT_TRUE(opened[1].ncpu_block && !opened[0].ncpu_block);
    BiosImage placed = opened[1];
    placed.bytes[placed.chain_start + 0x100] ^= 1;
    EXPECT_EQ(as_text(byte_changes(opened[0], placed)), as_text(one_by_one(opened[0], placed)));
}

}  // namespace
