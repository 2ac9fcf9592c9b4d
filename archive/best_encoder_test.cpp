// The near-optimal packer: its streams expand to their input, across the
// synthetic corpus, the historical archivers' inputs and the edges of the
// window, the look-ahead and the 16-bit block count; as a member it is
// never larger than the exact stream or storing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "archive/best_encoder.hpp"
#include "archive/codec_storage.hpp"
#include "archive/crc16.hpp"
#include "archive/extract.hpp"
#include "archive/lh5_decoder.hpp"
#include "archive/lh5_encoder.hpp"
#include "archive/pack.hpp"
#include "testkit/corpus.hpp"
#include "testkit/workdir.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Input {
    std::string name;
    Bytes data;
};

std::vector<Input> inputs() {
    std::vector<Input> list = {{"300 equal", Bytes(300, 0x41)}};
    for (testkit::CorpusKind kind : testkit::kAllCorpusKinds)
        for (std::size_t size : {1, 2, 3, 257, 8191, 8192, 8193, 8448, 8449, 16640, 100000})
            list.push_back({std::string(testkit::corpus_name(kind)) + " " + std::to_string(size),
                            testkit::corpus(kind, size, size)});
    const auto folder = std::filesystem::path(testkit::testdata("lh5-streams/MANIFEST.tsv")).parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".out")
            list.push_back({entry.path().filename().string(), testkit::slurp(entry.path().string())});
    return list;
}

TEST(BestEncoder, StreamsExpandToTheirInput) {
    int smaller = 0, rows = 0;
    for (const Input& in : inputs()) {
        SCOPED_TRACE(in.name);
        const Bytes stream = lh5_compress_best(in.data);
        ASSERT_EQ(lh5_expand_buffer(stream, in.data.size()), in.data);
        const Lh5Stream exact = lh5_compress_buffer(in.data);
        ++rows;
        if (!exact.gave_up && stream.size() < exact.data.size()) ++smaller;
    }
    EXPECT_GT(rows, 90);
    EXPECT_GT(smaller, rows / 2);  // the point of it: most streams beat the exact ones
}

// The token count of each block of `stream` (of two tokens or more), read
// by expanding it a byte at a time and watching the decoder's count of
// symbols left.
std::vector<std::uint32_t> block_counts(const Bytes& stream, std::size_t size) {
    lh5::source_from_memory(stream);
    lh5_expand_start();
    Bytes out(size);
    std::vector<std::uint32_t> counts;
    std::uint32_t left = 0;
    for (std::size_t pos = 0; pos < size; ++pos) {
        if (lh5_expand_into(std::span(out).first(pos + 1), pos) != 1) break;
        const std::uint32_t now = lh5::storage().decoder.block_left;
        if (pos == 0 || now > left) counts.push_back(now + 1);  // a block header was read
        left = now;
    }
    return counts;
}

// 300,000 bytes of 16 values: about 4 bits a byte as literals and few
// matches that pay, so a block of more than 65,535 tokens is cut there.
TEST(BestEncoder, LongBlockEndsAtTheSixteenBitCount) {
    Bytes data(300000);
    std::mt19937 random(7);
    for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(random() & 15);
    const Bytes stream = lh5_compress_best(data);
    EXPECT_LT(stream.size(), data.size() * 6 / 10);
    EXPECT_EQ(lh5_expand_buffer(stream, data.size()), data);
    const std::vector<std::uint32_t> counts = block_counts(stream, data.size());
    EXPECT_GE(counts.size(), 4u);
    EXPECT_NE(std::find(counts.begin(), counts.end(), 0xFFFFu), counts.end());
}

TEST(BestEncoder, MemberIsTheSmallestOfBestExactAndStored) {
    struct Row {
        const char* name;
        Bytes data;
        char method;
        bool beats_exact;
    };
    const Row rows[] = {
        {"empty", {}, '0', false},
        {"1 byte", {7}, '0', false},
        {"300 equal", Bytes(300, 0), '5', false},
        {"random", testkit::corpus(testkit::CorpusKind::Random, 20000), '0', false},
        {"code", testkit::corpus(testkit::CorpusKind::Code, 100000), '5', true},
        {"text 8449", testkit::corpus(testkit::CorpusKind::Text, 8449), '5', true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Bytes exact = pack_member(r.data, {.name = "a.rom"}).value();
        const Bytes best = pack_member(r.data, {.name = "a.rom", .encoder = Encoder::Best}).value();
        EXPECT_EQ(best[5], r.method);
        if (r.beats_exact)
            EXPECT_LT(best.size(), exact.size());
        else
            EXPECT_LE(best.size(), exact.size());
        const Expansion e = expand_member(best);
        EXPECT_EQ(e.status, Expansion::Status::Complete);
        EXPECT_EQ(e.data, r.data);
        EXPECT_EQ(original_size(e.header), r.data.size());
        EXPECT_EQ(recorded_crc(best), crc16::update(0, r.data));
    }
}

}  // namespace
