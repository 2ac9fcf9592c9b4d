// The chain walk and close_gap on synthetic images.
#include "image/chain.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "testkit/image_builder.hpp"

using testkit::KB;
using testkit::stored_member;
using testkit::SyntheticImage;

namespace {

// A stored member that takes exactly `span` bytes in the image (name "M.ROM": H = 30).
testkit::MemberFields member_of_span(std::uint16_t segment, std::uint32_t span, std::uint8_t seed) {
    return stored_member(segment, 0, "M.ROM", span - 33, seed);
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& v, std::uint32_t at, std::uint32_t n) {
    return {v.begin() + at, v.begin() + at + n};
}

}  // namespace

TEST(Chain, HeaderFieldsAndSpan) {
    SyntheticImage img(128 * KB);
    img.put_member(0x100, stored_member(0x4086, 0x12, "CPUCODE.BIN", 0x1234));
    const auto& f = img.bytes;
    MemberHead h = read_member_head(f, 0x100);
    EXPECT_TRUE(holds_member(h));
    EXPECT_EQ(header_size(h), 36);
    EXPECT_EQ(packed_size(h), 0x1234u);
    EXPECT_EQ(type_segment(h), 0x4086);
    EXPECT_EQ(type_offset(h), 0x12);
    EXPECT_EQ(member_span(h), 0x125Bu);

    MemberHead past = read_member_head(f, 0x20000 - 10);  // mostly outside the file
    EXPECT_EQ(packed_size(past), kErasedSize);
    EXPECT_FALSE(holds_member(past));
}

TEST(Chain, WalkStopsAtErasedSpaceNoMemberAndLimit) {
    SyntheticImage img(256 * KB);
    std::uint32_t end = img.put_chain(0x10000, {member_of_span(0x4080, 0x400, 1), member_of_span(0x4086, 0x800, 2),
                                                member_of_span(0x4001, 0x200, 3)});
    EXPECT_EQ(end, 0x10E00u);
    const auto& f = img.bytes;

    ChainWalk all = walk_chain(f, 0x10000, 0x20000 - 0x40);
    ASSERT_EQ(all.members.size(), 3u);
    EXPECT_EQ(all.members[1].position, 0x10400u);
    EXPECT_EQ(type_segment(all.members[2].header), 0x4001);
    EXPECT_EQ(all.end, ChainEnd::Erased);
    EXPECT_EQ(all.end_position, 0x10E00u);

    // The member that ends at the limit is still listed; the walk goes no further.
    ChainWalk limited = walk_chain(f, 0x10000, 0x10C00);
    EXPECT_EQ(limited.members.size(), 2u);
    EXPECT_EQ(limited.end, ChainEnd::Full);
    EXPECT_EQ(limited.end_position, 0x10C00u);

    img.fill(0x10E00, 0x40, 0x00);  // no "-lh", not erased
    const auto& g = img.bytes;
    ChainWalk stray = walk_chain(g, 0x10000, 0x20000);
    EXPECT_EQ(stray.members.size(), 3u);
    EXPECT_EQ(stray.end, ChainEnd::NoMember);
    EXPECT_EQ(stray.end_position, 0x10E00u);
}

TEST(Chain, WalkNeverPassesTheEndOfTheFile) {
    SyntheticImage img(128 * KB);
    std::uint32_t next = img.put_member(0x1F000, member_of_span(0x4080, 0x400, 1));
    img.put_member(next, member_of_span(0x4080, 0x400, 2));
    img.put32(next + 7, 0xFFFFFFF0);  // packed size that wraps 32 bits
    const auto& f = img.bytes;
    ChainWalk walk = walk_chain(f, 0x1F000, 0xFFFFFFFF);
    EXPECT_EQ(walk.members.size(), 1u);
    EXPECT_EQ(walk.end, ChainEnd::FileEnd);
    EXPECT_EQ(walk.end_position, next);

    ChainWalk outside = walk_chain(f, 0x30000, 0xFFFFFFFF);
    EXPECT_TRUE(outside.members.empty());
    EXPECT_EQ(outside.end, ChainEnd::Erased);
}

TEST(CloseGap, MembersBehindMoveDownAndTheFreedBytesReadErased) {
    SyntheticImage img(256 * KB);
    std::uint32_t end = img.put_chain(0x10000, {member_of_span(0x4080, 0x1000, 1), member_of_span(0x4086, 0x800, 2),
                                                member_of_span(0x4087, 0x800, 3)});
    EXPECT_EQ(end, 0x12000u);
    img.put_ncpu_block(0x30000, std::vector<std::uint8_t>(0x100, 0xA5));  // above the gap's end
    const auto before = img.bytes;
    close_gap(img.bytes, 0x10000, 0x1000, 0x30000 - 32 - 0x100);
    const auto& after = img.bytes;
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(slice(after, 0x10000, 0x1000), slice(before, 0x11000, 0x1000));
    EXPECT_TRUE(
        std::all_of(after.begin() + 0x11000, after.begin() + 0x2FEE0, [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(slice(after, 0x2FEE0, 0x10120), slice(before, 0x2FEE0, 0x10120));
    EXPECT_EQ(slice(after, 0, 0x10000), slice(before, 0, 0x10000));

    ChainWalk walk = walk_chain(img.bytes, 0x10000, 0x30000);
    ASSERT_EQ(walk.members.size(), 2u);
    EXPECT_EQ(type_segment(walk.members[0].header), 0x4086);
    EXPECT_EQ(walk.members[1].position, 0x10800u);
    EXPECT_EQ(walk.end_position, 0x11000u);
}

TEST(CloseGap, ReleasingTheLastMemberLeavesTheChainEndingThere) {
    SyntheticImage img(128 * KB);
    std::uint32_t second = img.put_member(0x100, member_of_span(0x4080, 0x300, 1));
    img.put_member(second, member_of_span(0x4081, 0x300, 2));
    close_gap(img.bytes, second, 0x300, 0x8000);
    const auto& f = img.bytes;
    ChainWalk walk = walk_chain(f, 0x100, 0x8000);
    EXPECT_EQ(walk.members.size(), 1u);
    EXPECT_EQ(walk.end, ChainEnd::Erased);
    EXPECT_EQ(walk.end_position, second);
}

TEST(CloseGap, NothingAtOrAboveTheEndIsTouched) {
    SyntheticImage img(128 * KB);
    std::uint32_t second = img.put_member(0x1000, member_of_span(0x4080, 0x200, 1));
    img.put_member(second, member_of_span(0x4081, 0x1000, 2));  // runs past the gap's end
    const auto before = img.bytes;
    close_gap(img.bytes, 0x1000, 0x200, 0x1800);
    const auto& after = img.bytes;
    // Bytes below the end shift down by 0x200; the top 0x200 below the end are erased.
    EXPECT_EQ(slice(after, 0x1000, 0x600), slice(before, 0x1200, 0x600));
    EXPECT_EQ(slice(after, 0x1600, 0x200), std::vector<std::uint8_t>(0x200, 0xFF));
    EXPECT_EQ(slice(after, 0x1800, 0x1E800), slice(before, 0x1800, 0x1E800));
}

TEST(CloseGap, EndPastTheFileIsBoundedByIt) {
    SyntheticImage img(128 * KB);
    std::uint32_t second = img.put_member(0x1F000, member_of_span(0x4080, 0x200, 1));
    img.put_member(second, member_of_span(0x4081, 0x200, 2));
    const auto before = img.bytes;
    close_gap(img.bytes, 0x1F000, 0x200, 0xFFFFFFF0);
    const auto& after = img.bytes;
    ASSERT_EQ(after.size(), 0x20000u);
    EXPECT_EQ(slice(after, 0x1F000, 0x200), slice(before, second, 0x200));
    EXPECT_EQ(slice(after, 0x1F200, 0xE00), std::vector<std::uint8_t>(0xE00, 0xFF));
}
