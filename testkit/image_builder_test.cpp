// The test kit's member headers, checked against published values and an
// independent LZH archiver, so that every image test stands on sound members.
#include "testkit/image_builder.hpp"

#include <gtest/gtest.h>

#include <string_view>

#include "common/file.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

using testkit::member_bytes;
using testkit::stored_member;

TEST(ImageBuilder, Crc16KnownAnswer) {
    std::string_view text = "123456789";
    EXPECT_EQ(testkit::crc16_arc({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}), 0xBB3D);
}

TEST(ImageBuilder, HeaderLayout) {
    auto m = member_bytes(stored_member(0x4080, 0, "CPUCODE.BIN", 5));
    ASSERT_EQ(m.size(), 38u + 5);
    EXPECT_EQ(m[0], 36);  // H = N + 25
    EXPECT_EQ(std::string(m.begin() + 2, m.begin() + 7), "-lh0-");
    EXPECT_EQ(std::vector<std::uint8_t>(m.begin() + 15, m.begin() + 19),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x80, 0x40}));
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < 38; ++i) sum = static_cast<std::uint8_t>(sum + m[i]);
    EXPECT_EQ(m[1], sum);
}

TEST(ImageBuilder, WritesOutsideTheImageThrow) {
    testkit::SyntheticImage img(0x100);
    EXPECT_THROW(img.put32(0xFE, 0), std::out_of_range);
    // Header 28 bytes + data + the extra byte: 0x63 data bytes fill the last 0x80 exactly.
    EXPECT_THROW(img.put_member(0x80, stored_member(0x4080, 0, "A", 0x64)), std::out_of_range);
    EXPECT_EQ(img.put_member(0x80, stored_member(0x4080, 0, "A", 0x63)), 0x100u);
}

// lhasa tests the header sum and the data CRC of an archive that holds one
// member and the end byte, as the tool's own work archive does.
TEST(ImageBuilder, IndependentArchiverAcceptsTheMembers) {
    MOZAIK_LINUX_ONLY("lhasa");
    MOZAIK_NEEDS(file_exists("/usr/bin/lhasa"), "lhasa not installed");
    testkit::WorkDir dir;
    auto m = member_bytes(stored_member(0x4086, 0x10, "PCI.ROM", 3000, 0x5A));
    m.push_back(0);
    testkit::spit("good.lzh", m);
    auto ok = testkit::run_program("/usr/bin/lhasa", {"t", "good.lzh"});
    EXPECT_EQ(ok.status, 0) << ok.out << ok.err;

    m[200] ^= 1;  // a data byte: the CRC no longer matches
    testkit::spit("bad.lzh", m);
    EXPECT_NE(testkit::run_program("/usr/bin/lhasa", {"t", "bad.lzh"}).status, 0);
}
