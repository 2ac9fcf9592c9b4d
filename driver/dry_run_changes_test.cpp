// The dry run's changed bytes outside the chain against a byte-by-byte
// reading of the same places, on the run layouts with changes dense, sparse
// and alternating with equal bytes.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "driver/dry_run.hpp"
#include "image/bios_image.hpp"
#include "image/image_writer.hpp"
#include "testkit/group_runs.hpp"
#include "testkit/workdir.hpp"

namespace {

// Each differing byte looked up in the places in their order, the chain's
// bytes left out, a named place one range and "other" one range a stretch.
std::vector<ByteChange> one_by_one(const BiosImage& before, const BiosImage& after) {
    std::vector<std::pair<std::string, ByteRange>> named;
    const auto add = [&named](const BiosImage& image, Region region) {
        if (const std::optional<ByteRange> r = region_range(image, region); r && r->end > r->begin)
            named.emplace_back(region_name(image, region), *r);
    };
    for (Region r : {Region::Bs1Pointer, Region::CheckBytes, Region::BankCheckByte, Region::SumBytes, Region::TopBlock})
        add(after, r);
    named.emplace_back("chain", ByteRange{before.chain_start, chain_space_end(before)});
    for (Region r : {Region::BootVgaRoom, Region::BootVgaSlot, Region::MemorySlot}) add(after, r);
    std::vector<ByteChange> changes;
    for (std::uint32_t at = 0; at < before.bytes.size(); ++at) {
        if (before.bytes[at] == after.bytes[at]) continue;
        std::string what = "other";
        for (const auto& [name, range] : named)
            if (at >= range.begin && at < range.end) {
                what = name;
                break;
            }
        if (what == "chain") continue;
        if (!changes.empty() && changes.back().what == what &&
            (what != "other" || changes.back().offset + changes.back().length == at))
            changes.back().length = at - changes.back().offset + 1;
        else
            changes.push_back({at, 1, what});
    }
    return changes;
}

TEST(DryRunChanges, AsReadByteByByte) {
    const std::pair<const char*, std::function<void(std::vector<std::uint8_t>&)>> damage[] = {
        {"nothing", [](std::vector<std::uint8_t>&) {}},
        {"every byte", [](std::vector<std::uint8_t>& b) { for (std::uint8_t& x : b) x ^= 0x01; }},
        {"every third byte", [](std::vector<std::uint8_t>& b) { for (std::size_t i = 0; i < b.size(); i += 3) b[i] ^= 0x5A; }},
        {"runs of 300 bytes in every 4 KB",
         [](std::vector<std::uint8_t>& b) {
             for (std::size_t i = 0; i + 4096 <= b.size(); i += 4096)
                 for (std::size_t k = 1000; k < 1300; ++k) b[i + k] = static_cast<std::uint8_t>(~b[i + k]);
         }},
        {"500 bytes anywhere",
         [](std::vector<std::uint8_t>& b) {
             std::mt19937 random(11);
             for (int k = 0; k < 500; ++k) b[random() % b.size()] += 1;
         }},
    };
    testkit::WorkDir dir;
    std::vector<BiosImage> opened;
    for (const testkit::RunImage& image : testkit::run_images()) {
        testkit::spit("img.bin", image.bytes);
        std::optional<BiosImage> one = open_image("img.bin").image;
        ASSERT_TRUE(one) << image.name;
        opened.push_back(*one);
    }
    const auto compare = [](const BiosImage& before, const BiosImage& after, const std::string& what) {
        const std::vector<ByteChange> expected = one_by_one(before, after);
        const std::vector<ByteChange> got = byte_changes(before, after);
        ASSERT_EQ(got.size(), expected.size()) << what;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].offset, expected[i].offset) << what << ", change " << i;
            EXPECT_EQ(got[i].length, expected[i].length) << what << ", change " << i;
            EXPECT_EQ(got[i].what, expected[i].what) << what << ", change " << i;
        }
    };
    for (std::size_t k = 0; k < opened.size(); ++k)
        for (const auto& [what, change] : damage) {
            BiosImage after = opened[k];
            change(after.bytes);
            compare(opened[k], after, testkit::run_images()[k].name + ", " + what);
        }
    // A run that places a top block and changes the chain: the block's place
    // lies in the chain's space as the image was opened, and is looked up
    // before the chain.
    ASSERT_EQ(opened[0].bytes.size(), opened[1].bytes.size());
    ASSERT_TRUE(opened[1].ncpu_block && !opened[0].ncpu_block);
    BiosImage placed = opened[1];
    placed.bytes[placed.chain_start + 0x100] ^= 1;
    compare(opened[0], placed, "a top block placed");
}

}  // namespace
