// Expanding the first member of a work archive into "original.tmp".
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/block_coder.hpp"
#include "archive/codec_storage.hpp"
#include "archive/extract.hpp"
#include "archive/settings.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"
#include "testkit/corpus.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/members.hpp"
#include "testkit/workdir.hpp"

namespace {

void write_archive(const std::string& name, const testkit::MemberFields& fields) {
    auto bytes = testkit::member_bytes(fields);
    bytes.push_back(0);
    testkit::spit(name, bytes);
}

// Extracts from `name` with the archive-name setting pointed at it.
void extract_from(const std::string& name) {
    archive_settings().archive_name = name;
    extract_component();
    archive_settings().archive_name = "bios.rom";
}

TEST(Extract, StoredMemberIsCopied) {
    testkit::WorkDir dir;
    const std::vector<std::uint8_t> data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    write_archive("FILE_BUF.BIN", testkit::stored_member(0x4080, 0, "a.rom", 10));
    extract_from("FILE_BUF.BIN");
    EXPECT_EQ(testkit::slurp("original.tmp"), testkit::stored_member(0x4080, 0, "a.rom", 10).data);

    // A damaged data byte is not noticed: the CRC is not compared.
    auto fields = testkit::stored_member(0x4080, 0, "a.rom", 10);
    fields.data_crc = fields.data_crc ^ 0xFFFF;
    fields.data[3] ^= 0x55;
    write_archive("FILE_BUF.BIN", fields);
    console::Capture cap;
    extract_from("FILE_BUF.BIN");
    EXPECT_EQ(testkit::slurp("original.tmp"), fields.data);
    EXPECT_EQ(cap.out() + cap.err(), "");
}

TEST(Extract, CompressedMembersAcrossPieces) {
    testkit::WorkDir dir;
    for (std::size_t size : {std::size_t{8192}, std::size_t{8193}, std::size_t{20000}}) {
        const auto input = testkit::corpus(testkit::CorpusKind::Code, size, size);
        auto fields = testkit::packed_member(0x4080, 0, "v.rom", input);
        ASSERT_EQ(fields.method, "-lh5-");
        write_archive("w.bin", fields);
        extract_from("w.bin");
        EXPECT_EQ(testkit::slurp("original.tmp"), input) << size;
        // "-lh4-" goes through the same decoder.
        fields.method = "-lh4-";
        write_archive("w.bin", fields);
        extract_from("w.bin");
        EXPECT_EQ(testkit::slurp("original.tmp"), input) << size;
    }
}

TEST(Extract, EmptyComponentGivesEmptyFile) {
    testkit::WorkDir dir;
    for (const char* method : {"-lh0-", "-lh5-"}) {
        testkit::MemberFields fields;
        fields.method = method;
        write_archive("w.bin", fields);
        testkit::spit("original.tmp", "stale");
        extract_from("w.bin");
        EXPECT_TRUE(testkit::slurp("original.tmp").empty()) << method;
    }
}

TEST(Extract, UnknownMethodLeavesAnEmptyFile) {
    testkit::WorkDir dir;
    auto fields = testkit::stored_member(0x7000, 0, "x", 50);
    fields.method = "-lh6-";
    write_archive("w.bin", fields);
    console::Capture cap;
    extract_from("w.bin");
    EXPECT_EQ(cap.err(), "Unknown method: 54\n");
    EXPECT_TRUE(testkit::slurp("original.tmp").empty());
    fields.method = "-lz5-";
    write_archive("w.bin", fields);
    extract_from("w.bin");
    EXPECT_EQ(cap.err(), "Unknown method: 54\nUnknown method: 53\n");
}

TEST(Extract, NothingToExpandCreatesNothing) {
    testkit::WorkDir dir;
    console::Capture cap;
    extract_from("missing.bin");
    testkit::spit("empty.bin", std::vector<std::uint8_t>{0});
    extract_from("empty.bin");
    EXPECT_FALSE(file_exists("original.tmp"));
    EXPECT_EQ(cap.err(), "Can't open missing.bin\nNo component in empty.bin\n");
    EXPECT_EQ(cap.out(), "");
}

TEST(Extract, OutputThatCannotBeCreated) {
    testkit::WorkDir dir;
    write_archive("w.bin", testkit::stored_member(0x7000, 0, "x", 10));
    std::filesystem::create_directory("original.tmp");
    console::Capture cap;
    extract_from("w.bin");
    EXPECT_EQ(cap.err(), "Can't open original.tmp\n");
    EXPECT_TRUE(std::filesystem::is_directory("original.tmp"));
}

TEST(Extract, StoredDataCutShortCannotBeRead) {
    testkit::WorkDir dir;
    auto fields = testkit::stored_member(0x7000, 0, "x", 100);
    fields.original_size = 200;
    auto bytes = testkit::member_bytes(fields);
    testkit::spit("w.bin", bytes);
    try {
        extract_from("w.bin");
        ADD_FAILURE() << "expected a fatal error";
    } catch (const FatalError& e) {
        EXPECT_EQ(e.message, "Can't read");
    }
    archive_settings().archive_name = "bios.rom";
}

TEST(Extract, OutputThatCannotBeWrittenEndsTheRun) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    testkit::WorkDir dir;
    std::filesystem::create_symlink("/dev/full", "original.tmp");
    for (const auto& fields : {testkit::stored_member(0x7000, 0, "x", 20000),
                               testkit::packed_member(0x7000, 0, "y", testkit::corpus(testkit::CorpusKind::Text, 20000)),
                               testkit::stored_member(0x7000, 0, "z", 10)}) {
        SCOPED_TRACE(fields.method + " " + fields.name);
        write_archive("w.bin", fields);
        try {
            extract_from("w.bin");
            ADD_FAILURE() << "expected a fatal error";
        } catch (const FatalError& e) {
            EXPECT_EQ(e.message, "Unable to write");
        }
        archive_settings().archive_name = "bios.rom";
    }
}

TEST(Extract, MatchBeforeTheFirstByteCopiesZeros) {
    testkit::WorkDir dir;
    // First expand something else, so that the ring holds other bytes.
    write_archive("a.bin", testkit::packed_member(0x7000, 0, "a", testkit::corpus(testkit::CorpusKind::Text, 9000)));
    extract_from("a.bin");
    // A stream whose first token is a match of 13 at distance field 100.
    std::vector<std::uint8_t> stream;
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
    write_archive("b.bin", fields);
    extract_from("b.bin");
    std::vector<std::uint8_t> expected(13, 0);
    expected.insert(expected.end(), {'a', 'b', 'c'});
    EXPECT_EQ(testkit::slurp("original.tmp"), expected);
}

TEST(Extract, ExpandMemberReportsTheCrcOfItsOutput) {
    testkit::WorkDir dir;
    const auto input = testkit::corpus(testkit::CorpusKind::Runs, 5000);
    const auto fields = testkit::packed_member(0x7000, 0, "r", input);
    write_archive("w.bin", fields);
    File archive("w.bin", "rb");
    const auto header = read_member_header(archive);
    ASSERT_TRUE(header);
    ExpandResult r = expand_member(archive, *header, false);
    EXPECT_TRUE(r.output.is_open());  // left open for the caller
    EXPECT_EQ(r.crc, fields.data_crc);
    r.output.close();
    EXPECT_EQ(testkit::slurp("original.tmp"), input);
}

// Data that runs out is damage: the expansion stops, says so, and writes no
// more than the data gives, however large the original size claims to be.
TEST(Extract, DataThatEndsEarlyStopsTheExpansion) {
    testkit::WorkDir dir;
    const auto input = testkit::corpus(testkit::CorpusKind::Text, 20000);
    const auto whole = testkit::packed_member(0x7000, 0, "y", input);
    ASSERT_EQ(whole.method, "-lh5-");
    auto cut = whole;
    cut.data.resize(whole.data.size() / 2);
    const struct {
        const char* what;
        testkit::MemberFields fields;
        std::uint32_t original_size;
        std::size_t min_out, max_out;  // bytes of "original.tmp"
    } rows[] = {
        {"sound data, original size near 4 GB", whole, 0xFFFFFFF0u, 20000, 20000},
        {"data cut in half", cut, 20000, 1000, 19999},
        {"data cut in half, original size near 4 GB", cut, 0xFFFFFFF0u, 1000, 19999},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto fields = row.fields;
        fields.original_size = row.original_size;
        write_archive("w.bin", fields);
        console::Capture cap;
        archive_settings().archive_name = "w.bin";
        EXPECT_FALSE(extract_component());
        archive_settings().archive_name = "bios.rom";
        EXPECT_EQ(cap.err(), "y: compressed data ends early\n");
        const auto out = testkit::slurp("original.tmp");
        EXPECT_GE(out.size(), row.min_out);
        EXPECT_LE(out.size(), row.max_out);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + 1000, input.begin()));
        // The same bound in memory.
        File archive("w.bin", "rb");
        bool ended_early = false;
        const auto in_memory = expand_in_memory(archive, 0, SIZE_MAX, &ended_early);
        EXPECT_TRUE(ended_early);
        EXPECT_EQ(in_memory, out);
    }
    // A sound member still expands in full, and says nothing.
    write_archive("w.bin", whole);
    console::Capture cap;
    archive_settings().archive_name = "w.bin";
    EXPECT_TRUE(extract_component());
    archive_settings().archive_name = "bios.rom";
    EXPECT_EQ(testkit::slurp("original.tmp"), input);
    EXPECT_EQ(cap.err(), "");
}

TEST(Extract, NextMemberOffset) {
    EXPECT_EQ(next_member_offset(100, 36, 1000), 1138u);
    EXPECT_EQ(next_member_offset(100, 36, 1000, 1), 1139u);
}

}  // namespace
