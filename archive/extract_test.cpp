// Expanding one member in memory.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/block_coder.hpp"
#include "archive/codec_storage.hpp"
#include "archive/extract.hpp"
#include "common/console.hpp"
#include "testkit/corpus.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/members.hpp"
#include "testkit/workdir.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A member as an archive holds it: header, data and the end byte.
Bytes archive_of(const testkit::MemberFields& fields) {
    Bytes bytes = testkit::member_bytes(fields);
    bytes.push_back(0);
    return bytes;
}

TEST(Extract, StoredMemberIsCopied) {
    const auto stored = testkit::stored_member(0x4080, 0, "a.rom", 10);
    EXPECT_EQ(expand_member(archive_of(stored)).data, stored.data);

    // A damaged data byte is not noticed here: the caller compares the CRC.
    auto fields = stored;
    fields.data_crc = testkit::crc16_arc(stored.data);
    fields.data[3] ^= 0x55;
    console::Capture cap;
    const Expansion e = expand_member(archive_of(fields));
    EXPECT_EQ(e.status, Expansion::Status::Complete);
    EXPECT_EQ(e.data, fields.data);
    EXPECT_NE(e.crc, recorded_crc(header_in_holder(e.header)));
    EXPECT_EQ(cap.out() + cap.err(), "");
}

TEST(Extract, CompressedMembersAcrossPiecesAndTheirCrc) {
    for (std::size_t size : {std::size_t{8192}, std::size_t{8193}, std::size_t{20000}}) {
        const auto input = testkit::corpus(testkit::CorpusKind::Code, size, size);
        auto fields = testkit::packed_member(0x4080, 0, "v.rom", input);
        ASSERT_EQ(fields.method, "-lh5-");
        Expansion e = expand_member(archive_of(fields));
        EXPECT_EQ(e.data, input) << size;
        EXPECT_EQ(e.crc, fields.data_crc) << size;
        EXPECT_EQ(listed_name(e.header), "v.rom");
        // "-lh4-" goes through the same decoder; a limit takes the first bytes only.
        fields.method = "-lh4-";
        EXPECT_EQ(expand_member(archive_of(fields)).data, input) << size;
        e = expand_member(archive_of(fields), 5000);
        EXPECT_EQ(e.data, Bytes(input.begin(), input.begin() + 5000)) << size;
    }
}

TEST(Extract, EmptyComponentGivesNoBytes) {
    for (const char* method : {"-lh0-", "-lh5-"}) {
        testkit::MemberFields fields;
        fields.method = method;
        const Expansion e = expand_member(archive_of(fields));
        EXPECT_EQ(e.status, Expansion::Status::Complete) << method;
        EXPECT_TRUE(e.data.empty()) << method;
    }
}

TEST(Extract, UnknownMethodOrNoMemberGivesNothing) {
    auto fields = testkit::stored_member(0x7000, 0, "x", 50);
    console::Capture cap;
    for (const char* method : {"-lh6-", "-lz5-"}) {
        fields.method = method;
        const Expansion e = expand_member(archive_of(fields));
        EXPECT_EQ(e.status, Expansion::Status::UnknownMethod) << method;
        EXPECT_EQ(method_char(e.header), method[3]);
        EXPECT_TRUE(e.data.empty());
    }
    EXPECT_EQ(expand_member(Bytes{}).status, Expansion::Status::NoMember);
    EXPECT_EQ(expand_member(Bytes{0, 1, 2}).status, Expansion::Status::NoMember);
    EXPECT_EQ(cap.out() + cap.err(), "");
}

TEST(Extract, DamagedHeadersAndCutStoredDataAreDamage) {
    auto fields = testkit::stored_member(0x7000, 0, "x", 100);
    fields.original_size = 200;
    Bytes bytes = testkit::member_bytes(fields);
    Bytes followed = bytes;  // another member's bytes behind the data are not its own
    followed.insert(followed.end(), 300, 0x41);
    Bytes bad_sum = bytes;
    bad_sum[1] ^= 1;
    auto tables = testkit::packed_member(0x7000, 0, "t", testkit::corpus(testkit::CorpusKind::Text, 5000));
    std::fill(tables.data.begin(), tables.data.begin() + 8, 0xFF);
    const struct {
        const char* what;
        Bytes member;
        const char* message;
    } rows[] = {
        {"stored data cut short", bytes, "Can't read"},
        {"stored data shorter than its original size, other bytes behind it", followed, "Can't read"},
        {"header sum", bad_sum, "Header sum error"},
        {"header cut short", Bytes(bytes.begin(), bytes.begin() + 20), "Header sum error"},
        {"inconsistent code lengths", archive_of(tables), "Bad table"},
    };
    for (const auto& row : rows) {
        const Expansion e = expand_member(row.member);
        EXPECT_EQ(e.status, Expansion::Status::Damaged) << row.what;
        EXPECT_STREQ(e.damage, row.message) << row.what;
    }
}

TEST(Extract, MatchBeforeTheFirstByteCopiesZeros) {
    // First expand something else, so that the ring holds other bytes.
    (void)expand_member(
        archive_of(testkit::packed_member(0x7000, 0, "a", testkit::corpus(testkit::CorpusKind::Text, 9000))));
    // A stream whose first token is a match of 13 at distance field 100.
    Bytes stream;
    lh5::storage().counters = {};
    lh5::storage().counters.original_size = 1u << 20;
    lh5::sink_to_memory(stream);
    block_coder_start();
    queue_token(256 + 10, 100);
    for (std::uint8_t b : {'a', 'b', 'c'}) queue_token(b, 0);
    flush_block();
    emit_bits(7, 0);
    lh5::sink_flush();
    testkit::MemberFields fields;
    fields.method = "-lh5-";
    fields.data = stream;
    fields.original_size = 16;
    Bytes expected(13, 0);
    expected.insert(expected.end(), {'a', 'b', 'c'});
    EXPECT_EQ(expand_member(archive_of(fields)).data, expected);
}

// The bytes a streamed expansion gives, and whether it was opened (the
// header read and the method known), as a file made for it would be.
struct Collected {
    Bytes bytes;
    bool refuse = false;  // stands for a disk that takes nothing
};

bool collect(void* context, std::span<const std::uint8_t> piece) {
    Collected& c = *static_cast<Collected*>(context);
    c.bytes.insert(c.bytes.end(), piece.begin(), piece.end());
    return !c.refuse;
}

// Streamed, a member gives what it gives in memory: the same bytes,
// status, CRC and message, across the codec's 128 KiB pieces.
TEST(Extract, StreamedGivesWhatMemoryGives) {
    const auto big = testkit::corpus(testkit::CorpusKind::Code, 300000, 5);
    const auto packed = testkit::packed_member(0x7000, 0, "big", big);
    ASSERT_EQ(packed.method, "-lh5-");
    auto cut = packed;
    cut.data.resize(packed.data.size() / 2);
    auto tables = testkit::packed_member(0x7000, 0, "t", testkit::corpus(testkit::CorpusKind::Text, 5000));
    std::fill(tables.data.begin(), tables.data.begin() + 8, 0xFF);
    auto unknown = testkit::stored_member(0x7000, 0, "u", 50);
    unknown.method = "-lh6-";
    const struct {
        const char* what;
        Bytes member;
        std::size_t limit;
        bool file;
    } rows[] = {
        {"compressed, three pieces", archive_of(packed), SIZE_MAX, true},
        {"compressed, a limit inside the second piece", archive_of(packed), 200000, true},
        {"stored", archive_of(testkit::stored_member(0x4080, 0, "s", 70000)), SIZE_MAX, true},
        {"empty", archive_of(testkit::MemberFields{}), SIZE_MAX, true},
        {"data that ends early", archive_of(cut), SIZE_MAX, true},
        {"inconsistent code lengths", archive_of(tables), SIZE_MAX, true},
        {"unknown method", archive_of(unknown), SIZE_MAX, false},
        {"no member", Bytes{0, 1, 2}, SIZE_MAX, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        console::Capture memory_says;
        const Expansion m = expand_member(row.member, row.limit, console::voice());
        console::Capture streamed_says;
        Collected got;
        const Expansion f = expand_member_to_sink(row.member, {collect, &got}, row.limit, console::voice());
        EXPECT_EQ(f.status, m.status);
        EXPECT_STREQ(f.damage, m.damage);
        EXPECT_EQ(f.crc, m.crc);
        EXPECT_TRUE(f.data.empty());
        EXPECT_EQ(streamed_says.err(), memory_says.err());
        EXPECT_TRUE(got.bytes == m.data);
        if (!row.file) {
            EXPECT_TRUE(got.bytes.empty());
        }
    }
    // A sink that takes nothing.
    Collected full{{}, true};
    const Expansion e = expand_member_to_sink(archive_of(packed), {collect, &full});
    EXPECT_EQ(e.status, Expansion::Status::Damaged);
    EXPECT_STREQ(e.damage, "Unable to write");
}

// Data that runs out is damage: the expansion stops, says so, and gives no
// more than the data gives, however large the original size claims to be.
TEST(Extract, DataThatEndsEarlyStopsTheExpansion) {
    const auto input = testkit::corpus(testkit::CorpusKind::Text, 20000);
    const auto whole = testkit::packed_member(0x7000, 0, "y", input);
    ASSERT_EQ(whole.method, "-lh5-");
    auto cut = whole;
    cut.data.resize(whole.data.size() / 2);
    const struct {
        const char* what;
        testkit::MemberFields fields;
        std::uint32_t original_size;
        std::size_t min_out, max_out;
    } rows[] = {
        {"sound data, original size near 4 GB", whole, 0xFFFFFFF0u, 20000, 20000},
        {"data cut in half", cut, 20000, 1000, 19999},
        {"data cut in half, original size near 4 GB", cut, 0xFFFFFFF0u, 1000, 19999},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto fields = row.fields;
        fields.original_size = row.original_size;
        console::Capture cap;
        const Expansion e = expand_member(archive_of(fields), SIZE_MAX, console::voice());
        EXPECT_EQ(e.status, Expansion::Status::EndedEarly);
        EXPECT_EQ(cap.err(), "y: compressed data ends early\n");
        EXPECT_GE(e.data.size(), row.min_out);
        EXPECT_LE(e.data.size(), row.max_out);
        EXPECT_TRUE(std::equal(e.data.begin(), e.data.begin() + 1000, input.begin()));
    }
    // A sound member still expands in full, and says nothing.
    console::Capture cap;
    const Expansion e = expand_member(archive_of(whole));
    EXPECT_EQ(e.status, Expansion::Status::Complete);
    EXPECT_EQ(e.data, input);
    EXPECT_EQ(cap.err(), "");
}

}  // namespace
