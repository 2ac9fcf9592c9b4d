// The decoder on hand-made and damaged streams: every inconsistent table is
// "Bad table", nothing is read or written outside an array, and the output
// always has the length asked for.
#include <gtest/gtest.h>

#include <random>

#include "archive/block_coder.hpp"
#include "archive/codec_storage.hpp"
#include "archive/lh5_decoder.hpp"
#include "archive/lh5_encoder.hpp"
#include "common/fatal.hpp"
#include "testkit/corpus.hpp"

namespace {

// Writes bits most significant first.
struct BitWriter {
    std::vector<std::uint8_t> bytes;
    int used = 8;
    void put(int n, unsigned v) {
        for (int i = n - 1; i >= 0; --i) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() = static_cast<std::uint8_t>(bytes.back() | (((v >> i) & 1) << (7 - used)));
            ++used;
        }
    }
};

std::string expand_error(const std::vector<std::uint8_t>& stream, std::size_t size) {
    try {
        const auto out = lh5_expand_buffer(stream, size);
        return "expanded " + std::to_string(out.size());
    } catch (const FatalError& e) {
        return e.message;
    }
}

// A block header whose pre-code gives symbols 2 and 3 one bit each
// (2 = "0", 3 = "1"): lengths 0 0 1, the 2-bit zero run 0, then 1.
BitWriter with_pre_code_2_and_3() {
    BitWriter w;
    w.put(16, 1);  // symbols in the block
    w.put(5, 4);
    w.put(3, 0);
    w.put(3, 0);
    w.put(3, 1);
    w.put(2, 0);
    w.put(3, 1);
    return w;
}

TEST(Lh5Decoder, InconsistentTablesAreBadTable) {
    {  // a pre-code length of 17 (unary field)
        BitWriter w;
        w.put(16, 1);
        w.put(5, 1);
        w.put(3, 7);
        w.put(10, 0x3FF);
        w.put(1, 0);
        EXPECT_EQ(expand_error(w.bytes, 10), "Bad table");
    }
    {  // a zero run that passes the end of the 510 symbol lengths
        BitWriter w = with_pre_code_2_and_3();
        w.put(9, 510);
        w.put(1, 0);    // pre-code 2: run of 20 + next 9 bits
        w.put(9, 511);  // 531 zeros
        EXPECT_EQ(expand_error(w.bytes, 10), "Bad table");
    }
    {  // four codes of one bit: twice over-full, yet 0 modulo 65536
        BitWriter w = with_pre_code_2_and_3();
        w.put(9, 4);
        for (int i = 0; i < 4; ++i) w.put(1, 1);  // pre-code 3: length 1
        EXPECT_EQ(expand_error(w.bytes, 10), "Bad table");
    }
    {  // one code of one bit: incomplete
        BitWriter w = with_pre_code_2_and_3();
        w.put(9, 1);
        w.put(1, 1);
        EXPECT_EQ(expand_error(w.bytes, 10), "Bad table");
    }
    {  // more pre-code lengths than the pre-code has symbols
        BitWriter w;
        w.put(16, 1);
        w.put(5, 20);
        EXPECT_EQ(expand_error(w.bytes, 10), "Bad table");
    }
    {  // a one-symbol code naming a symbol outside the alphabet
        BitWriter w;
        w.put(16, 1);
        w.put(5, 0);
        w.put(5, 0);
        w.put(9, 0);
        w.put(9, 510);
        EXPECT_EQ(expand_error(w.bytes, 10), "Bad table");
    }
}

TEST(Lh5Decoder, OneSymbolBlockAndRepeatsOfThePreviousByte) {
    // One-symbol codes: symbol 509 (a match of 256) with distance class 0
    // repeats the byte before, 256 times, at no cost in bits; a block count
    // of 0 wraps, so that block's tables stay in force to the end.
    BitWriter w;
    w.put(16, 0);
    w.put(5, 0), w.put(5, 0), w.put(9, 0), w.put(9, 509);
    w.put(4, 0), w.put(4, 0);
    const auto out = lh5_expand_buffer(w.bytes, 20000);
    ASSERT_EQ(out.size(), 20000u);
    // The ring starts cleared, so the copy before any output yields zeros.
    EXPECT_EQ(std::count(out.begin(), out.end(), 0), 20000);
}

TEST(Lh5Decoder, ShortStreamContinuesOnZeroBits) {
    const auto input = testkit::corpus(testkit::CorpusKind::Text, 30000);
    const Lh5Stream s = lh5_compress_buffer(input);
    ASSERT_FALSE(s.gave_up);
    const std::vector<std::uint8_t> cut(s.data.begin(), s.data.begin() + static_cast<std::ptrdiff_t>(s.data.size() / 2));
    const auto out = lh5_expand_buffer(cut, input.size());
    ASSERT_EQ(out.size(), input.size());
    // The part the bytes that are there describe is right; past the end a
    // block of zero bits is a one-symbol block of literal 0 that never ends.
    EXPECT_TRUE(std::equal(input.begin(), input.begin() + 1000, out.begin()));
    EXPECT_EQ(std::count(out.end() - 100, out.end(), 0), 100);
}

// Mutated and random streams: either "Bad table" or exactly the asked length,
// with every access inside the arrays (the sanitizer build checks that).
TEST(Lh5Decoder, SurvivesThousandsOfDamagedStreams) {
    std::vector<std::vector<std::uint8_t>> seeds;
    std::vector<std::size_t> sizes;
    for (testkit::CorpusKind kind : {testkit::CorpusKind::Code, testkit::CorpusKind::Text, testkit::CorpusKind::Runs}) {
        const auto input = testkit::corpus(kind, 3000, 3);
        const Lh5Stream s = lh5_compress_buffer(input);
        ASSERT_FALSE(s.gave_up);
        seeds.push_back(s.data);
        sizes.push_back(input.size());
    }
    std::mt19937 rng(12345);
    int bad_tables = 0, expanded = 0;
    for (int round = 0; round < 4000; ++round) {
        const std::size_t which = static_cast<std::size_t>(round) % seeds.size();
        std::vector<std::uint8_t> s = seeds[which];
        switch (round % 5) {
            case 0:  // flip a few bits
                for (int k = 0; k < 1 + round % 4; ++k) s[rng() % s.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
                break;
            case 1:  // overwrite a byte in the block header
                s[rng() % std::min<std::size_t>(s.size(), 60)] = static_cast<std::uint8_t>(rng());
                break;
            case 2:  // cut
                s.resize(rng() % s.size());
                break;
            case 3:  // random bytes
                for (auto& b : s) b = static_cast<std::uint8_t>(rng());
                break;
            default:  // a damaged stretch
                for (std::size_t i = rng() % s.size(), n = 0; i < s.size() && n < 16; ++i, ++n) s[i] = static_cast<std::uint8_t>(rng());
                break;
        }
        const std::size_t size = 1 + rng() % (2 * sizes[which]);
        try {
            const auto out = lh5_expand_buffer(s, size);
            ASSERT_EQ(out.size(), size);
            ++expanded;
        } catch (const FatalError& e) {
            ASSERT_EQ(e.message, "Bad table");
            ++bad_tables;
        }
    }
    // Both outcomes occur: the damage reaches the tables and the data.
    EXPECT_GT(bad_tables, 100);
    EXPECT_GT(expanded, 100);
}

}  // namespace
