// Packing a component into a work archive in memory, and keeping it.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/crc16.hpp"
#include "archive/extract.hpp"
#include "archive/pack.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/file.hpp"
#include "common/platform.hpp"
#include "testkit/corpus.hpp"
#include "testkit/members.hpp"
#include "testkit/workdir.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string method_of(const Bytes& archive) {
    return std::string(archive.begin() + 2, archive.begin() + 7);
}

// pack_member that must succeed, speaking through the console as the tool's packs do.
Bytes pack(const Bytes& input, PackOptions options) {
    options.voice = console::voice();
    std::optional<Bytes> archive = pack_member(input, options);
    EXPECT_TRUE(archive.has_value());
    return archive.value_or(Bytes{});
}

TEST(CompressionRatio, TenthsOfAPercent) {
    EXPECT_EQ(compression_ratio(0, 0), 0u);
    EXPECT_EQ(compression_ratio(5, 0), 0u);
    EXPECT_EQ(compression_ratio(100, 100), 1000u);
    EXPECT_EQ(compression_ratio(1, 3), 333u);
    EXPECT_EQ(compression_ratio(2, 3), 667u);   // rounded to nearest
    EXPECT_EQ(compression_ratio(1, 2000), 1u);  // 0.5 rounds up
    // Large values keep within 32 bits.
    EXPECT_EQ(compression_ratio(4000000000u, 4000000000u), 1000u);
    EXPECT_EQ(compression_ratio(3000000000u, 4000000000u), 750u);
    EXPECT_EQ(compression_ratio(429496730u, 858993460u), 500u);
    // packed + original / 2 would pass 32 bits: both are halved first.
    EXPECT_EQ(compression_ratio(0xFFFFFFFFu, 0xFFFFFFFFu), 1000u);
    EXPECT_EQ(compression_ratio(0xFFFFFFFFu, 0xFFFFFFFFu / 2), 2000u);
}

TEST(Pack, CompressedMemberInTheArchive) {
    const auto input = testkit::corpus(testkit::CorpusKind::Code, 40000);
    console::Capture cap;
    const Bytes archive = pack(input, {.type_id = "4080:0", .name = "vga.rom"});
    EXPECT_EQ(cap.out() + cap.err(), "");
    // Exactly what an independent assembly of the same member gives, and an end byte.
    auto expected = testkit::member_bytes(testkit::packed_member(0x4080, 0, "vga.rom", input));
    expected.push_back(0);
    EXPECT_EQ(archive, expected);
    EXPECT_EQ(method_of(archive), "-lh5-");
    const std::uint32_t packed = bytes::le32(&archive[7]);
    EXPECT_EQ(archive.size(), 28 + 7 + packed);
    EXPECT_EQ(bytes::le16(&archive[22 + 7]), crc16::update(0, input));
    // And it expands back.
    EXPECT_EQ(expand_member(archive).data, input);
}

TEST(Pack, VerboseProgressAndRatio) {
    // 8448 bytes in the first piece, 8192 per slide of the window with one
    // dot each: four slides, the last reading nothing.
    console::Capture cap;
    const Bytes archive =
        pack(testkit::corpus(testkit::CorpusKind::Text, 8448 + 3 * 8192), {.name = "t.txt", .verbose = true});
    const std::uint32_t packed = bytes::le32(&archive[7]), original = bytes::le32(&archive[11]);
    const std::uint32_t r = compression_ratio(packed, original);
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, " %u.%u%%\n", r / 10, r % 10);
    EXPECT_EQ(cap.out(), std::string("Adding t.txt ") + ratio);
    EXPECT_EQ(cap.err(), "....");
}

TEST(Pack, EmptyAndIncompressibleInputsAreStored) {
    console::Capture cap;
    Bytes archive = pack({}, {.name = "empty.bin", .verbose = true});
    EXPECT_EQ(method_of(archive), "-lh0-");
    EXPECT_EQ(bytes::le32(&archive[7]), 0u);
    EXPECT_EQ(bytes::le32(&archive[11]), 0u);
    EXPECT_EQ(bytes::le16(&archive[22 + 9]), 0u);
    EXPECT_EQ(archive.size(), 28u + 9u);
    EXPECT_EQ(cap.out(), "Adding empty.bin  0.0%\n");

    const auto noise = testkit::corpus(testkit::CorpusKind::Random, 20000);
    archive = pack(noise, {.name = "noise.bin", .verbose = true});
    EXPECT_EQ(method_of(archive), "-lh0-");
    EXPECT_EQ(bytes::le32(&archive[7]), 20000u);
    EXPECT_EQ(Bytes(archive.begin() + 36, archive.end() - 1), noise);
    EXPECT_EQ(archive.back(), 0);
    EXPECT_EQ(cap.out(), "Adding empty.bin  0.0%\nAdding noise.bin  100.0%\n");
}

TEST(Pack, StreamAsLongAsTheInputStaysCompressed) {
    // Nine zeros code into nine bytes: the last byte may make the stream as
    // long as the input read, so the member stays "-lh5-".
    console::Capture cap;
    const Bytes archive = pack(Bytes(9, 0), {.name = "z9.bin", .verbose = true});
    EXPECT_EQ(method_of(archive), "-lh5-");
    EXPECT_EQ(bytes::le32(&archive[7]), 9u);
    EXPECT_EQ(cap.out(), "Adding z9.bin  100.0%\n");
    EXPECT_EQ(expand_member(archive).data, Bytes(9, 0));
}

TEST(Pack, StoringOnRequest) {
    const Bytes zeros(5000, 0);
    console::Capture cap;
    const Bytes archive = pack(zeros, {.name = "z.bin", .store = true});  // quiet
    EXPECT_EQ(cap.out() + cap.err(), "");
    EXPECT_EQ(method_of(archive), "-lh0-");
    EXPECT_EQ(bytes::le32(&archive[7]), 5000u);
    EXPECT_EQ(bytes::le16(&archive[22 + 5]), crc16::update(0, zeros));
    EXPECT_EQ(pack(zeros, {.name = "z.bin", .verbose = true, .store = true}), archive);
    EXPECT_EQ(cap.out(), "Adding z.bin  100.0%\n");
}

TEST(Pack, StoredNameAndTypeIdInTheHeader) {
    const auto input = testkit::corpus(testkit::CorpusKind::Runs, 3000);
    console::Capture cap;
    Bytes archive = pack(input, {.type_id = "40a4:0", .name = "logo.bmp", .verbose = true});
    EXPECT_EQ(cap.out().rfind("Adding logo.bmp ", 0), 0u) << cap.out();
    EXPECT_EQ(archive[21], 8);
    EXPECT_EQ(std::string(archive.begin() + 22, archive.begin() + 30), "logo.bmp");
    EXPECT_EQ(Bytes(archive.begin() + 15, archive.begin() + 19), (Bytes{0, 0, 0xA4, 0x40}));
    archive = pack(input, {.name = "KorvaBmp.bmp"});
    EXPECT_EQ(archive[0], 37);  // N = 12
    EXPECT_EQ(std::string(archive.begin() + 22, archive.begin() + 34), "KorvaBmp.bmp");
    EXPECT_EQ(Bytes(archive.begin() + 15, archive.begin() + 19), (Bytes{0, 0, 0, 0x70}));  // "7000:0"
}

TEST(Pack, OverlongNameIsRefused) {
    console::Capture cap;
    EXPECT_FALSE(
        pack_member(Bytes{'d', 'a', 't', 'a'}, {.name = std::string(231, 'n'), .voice = console::voice()}).has_value());
    EXPECT_EQ(cap.err().rfind("Name too long: nnn", 0), 0u);  // (wrapped at 80 columns)
    EXPECT_EQ(cap.out(), "");
}

TEST(Pack, ManyPacksInOneProcessAgree) {
    const auto a = testkit::corpus(testkit::CorpusKind::Code, 12000, 1);
    const auto b = testkit::corpus(testkit::CorpusKind::Text, 70000, 2);
    const Bytes first = pack(a, {.name = "a.bin"});
    pack(b, {.name = "b.bin", .store = true});
    pack(b, {.name = "b.bin"});
    EXPECT_EQ(pack(a, {.name = "a.bin"}), first);
}

}  // namespace
