// Member header layout, checksum, reader and writer.
#include <gtest/gtest.h>

#include "archive/member_header.hpp"
#include "common/fatal.hpp"
#include "common/file.hpp"
#include "testkit/workdir.hpp"

namespace {

std::string fatal_message(const std::function<void()>& f) {
    try {
        f();
    } catch (const FatalError& e) {
        return e.message;
    }
    return "(no fatal error)";
}

TEST(ParseTypeId, SegmentAndOffset) {
    const TypeIdValue v = parse_type_id("4080:0");
    EXPECT_EQ(v.segment, 0x4080);
    EXPECT_EQ(v.offset, 0);
    const TypeIdValue upper = parse_type_id("40A4:0"), lower = parse_type_id("40a4:0");
    EXPECT_EQ(upper.segment, 0x40A4);
    EXPECT_EQ(lower.segment, 0x40A4);
    EXPECT_EQ(parse_type_id("7000:12").offset, 0x12);
}

TEST(ParseTypeId, UnusualTexts) {
    // No colon: all offset.
    EXPECT_EQ(parse_type_id("8000").segment, 0);
    EXPECT_EQ(parse_type_id("8000").offset, 0x8000);
    // Several colons: the value between the last two is the segment.
    EXPECT_EQ(parse_type_id("1:2:3").segment, 2);
    EXPECT_EQ(parse_type_id("1:2:3").offset, 3);
    // Only the low 16 bits are kept.
    EXPECT_EQ(parse_type_id("12345:0").segment, 0x2345);
    // A non-hex character still shifts in a 0.
    EXPECT_EQ(parse_type_id("4G:1").segment, 0x40);
}

TEST(MemberHeader, WriterLayout) {
    HeaderFields h;
    h.name = "CPUCODE.BIN";
    h.packed_size = 0x01020304;
    h.original_size = 0x0A0B0C0D;
    h.type = parse_type_id("4080:0");
    h.data_crc = 0xBEEF;
    const auto b = header_bytes(h);
    ASSERT_EQ(b.size(), 38u);  // N = 11, H = 36
    EXPECT_EQ(b[0], 36);
    EXPECT_EQ(std::string(b.begin() + 2, b.begin() + 7), "-lh5-");
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 7, b.begin() + 15),
              (std::vector<std::uint8_t>{4, 3, 2, 1, 0x0D, 0x0C, 0x0B, 0x0A}));
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 15, b.begin() + 19),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x80, 0x40}));
    EXPECT_EQ(b[19], 0x20);
    EXPECT_EQ(b[20], 0x01);
    EXPECT_EQ(b[21], 11);
    EXPECT_EQ(std::string(b.begin() + 22, b.begin() + 33), "CPUCODE.BIN");
    EXPECT_EQ(b[33], 0xEF);  // CRC at H - 3 = 22 + N
    EXPECT_EQ(b[34], 0xBE);
    EXPECT_EQ(b[35], 0x20);
    EXPECT_EQ(b[36], 0);
    EXPECT_EQ(b[37], 0);
    unsigned sum = 0;
    for (std::size_t i = 2; i < 38; ++i) sum += b[i];
    EXPECT_EQ(b[1], sum & 0xFF);
}

TEST(MemberHeader, RoundTrip) {
    HeaderFields h;
    h.name = "a.rom";
    h.method = '0';
    h.packed_size = 77;
    h.original_size = 77;
    h.type.segment = 0x4080;
    h.data_crc = 0x1234;
    std::vector<std::uint8_t> bytes = header_bytes(h);
    bytes.insert(bytes.end(), {9, 9});
    const HeaderRead read = read_member_header(bytes);
    ASSERT_EQ(read.status, HeaderStatus::Read);
    const MemberHead& r = read.head;
    EXPECT_EQ(listed_name(r), "a.rom");
    EXPECT_EQ(method_char(r), '0');
    EXPECT_EQ(packed_size(r), 77u);
    EXPECT_EQ(original_size(r), 77u);
    EXPECT_EQ(recorded_crc(header_in_holder(r)), 0x1234);
    EXPECT_EQ(type_segment(r), 0x4080);
    EXPECT_EQ(header_size(r), 30);  // the data starts at H + 2 = 32
}

TEST(MemberHeader, ZeroSizeByteOrNothingIsNoMember) {
    EXPECT_EQ(read_member_header(std::vector<std::uint8_t>{0, 0xAA, 0xBB}).status, HeaderStatus::NoMember);
    EXPECT_EQ(read_member_header(std::vector<std::uint8_t>{}).status, HeaderStatus::NoMember);
}

TEST(MemberHeader, DamagedHeadersAreFound) {
    HeaderFields h;
    h.name = "X.BIN";
    const auto good = header_bytes(h);
    auto status = [](const std::vector<std::uint8_t>& bytes) { return read_member_header(bytes).status; };
    const auto damaged = HeaderStatus::Damaged;
    // Checksum off by one.
    auto bad = good;
    ++bad[1];
    EXPECT_EQ(status(bad), damaged);
    // A TypeId changed in place without a new sum.
    auto moved = good;
    moved[17] = 0x80;
    EXPECT_EQ(status(moved), damaged);
    // Cut short inside the header.
    EXPECT_EQ(status({good.begin(), good.begin() + 20}), damaged);
    // A name length that runs past the header, with a matching sum.
    auto long_name = good;
    long_name[21] = 200;
    long_name[1] = *header_sum(long_name);
    EXPECT_EQ(status(long_name), damaged);
    // A header too small to hold the name length byte.
    std::vector<std::uint8_t> tiny = {3, 0, 'a', 'b', 'c'};
    tiny[1] = *header_sum(tiny);
    EXPECT_EQ(status(tiny), damaged);
    EXPECT_EQ(status(good), HeaderStatus::Read);
}

TEST(MemberHeader, DamagedHeadersNeverReadOutside) {
    // Mutated headers with their sums made right again: each is read, or
    // ends the chain, or is refused; a header read has its name inside H.
    HeaderFields h;
    h.name = "SOME.ROM";
    const auto good = header_bytes(h);
    std::uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    int read = 0, refused = 0;
    for (int round = 0; round < 2000; ++round) {
        auto b = good;
        b.resize(b.size() + next() % 40, 0x5A);
        for (int k = 0; k < 3; ++k) b[next() % b.size()] = static_cast<std::uint8_t>(next());
        if (b[0] != 0 && b.size() >= b[0] + 2u) b[1] = *header_sum(b);
        const HeaderRead r = read_member_header(b);
        if (r.status == HeaderStatus::Read) {
            ++read;
            EXPECT_LE(member::kNameAt + r.head.bytes[member::kNameLengthAt], header_size(r.head) + 2u);
            EXPECT_LE(header_size(r.head) + 2u, b.size());
        }
        refused += r.status == HeaderStatus::Damaged;
    }
    EXPECT_GT(read, 100);
    EXPECT_GT(refused, 100);
}

TEST(MemberHeader, SumNeedsTheWholeHeader) {
    EXPECT_FALSE(header_sum({}));
    const std::vector<std::uint8_t> cut = {10, 0, 1, 2};
    EXPECT_FALSE(header_sum(cut));
}

TEST(MemberHeader, NamesOver230BytesAreRefused) {
    HeaderFields h;
    const std::string name(231, 'n');
    h.name = std::string_view(name).substr(0, 230);
    EXPECT_EQ(header_bytes(h)[0], 255);
    h.name = name;
    EXPECT_NE(fatal_message([&] { header_bytes(h); }), "(no fatal error)");
}

}  // namespace
