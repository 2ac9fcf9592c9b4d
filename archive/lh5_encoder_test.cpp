// The compressor's stream, checked against what the format fixes: the
// tokens chosen, block boundaries, one-symbol codes, length limiting and
// the give-up rule; and round trips through the decoder.
#include <gtest/gtest.h>

#include <numeric>

#include "archive/block_coder.hpp"
#include "archive/codec_storage.hpp"
#include "archive/huffman.hpp"
#include "archive/lh5_decoder.hpp"
#include "archive/lh5_encoder.hpp"
#include "common/console.hpp"
#include "testkit/corpus.hpp"

namespace {

// Reads a stream's bits most significant first.
struct BitReader {
    const std::vector<std::uint8_t>& data;
    std::size_t bit = 0;
    unsigned take(int n) {
        unsigned v = 0;
        for (int i = 0; i < n; ++i, ++bit) {
            const unsigned byte = bit / 8 < data.size() ? data[bit / 8] : 0;
            v = (v << 1) | ((byte >> (7 - bit % 8)) & 1);
        }
        return v;
    }
};

// Starts the block coder on an in-memory sink with room to write.
void start_coder(std::vector<std::uint8_t>& out) {
    lh5::CodecStorage& st = lh5::storage();
    st.counters = {};
    st.counters.original_size = 1u << 30;
    lh5::sink_to_memory(out);
    block_coder_start();
}

void finish_coder() {
    flush_block();
    emit_bits(7, 0);
    lh5::sink_flush();
}

TEST(Lh5Encoder, ThreeHundredEqualBytesAreThreeTokens) {
    const std::vector<std::uint8_t> input(300, 'z');
    const Lh5Stream s = lh5_compress_buffer(input);
    ASSERT_FALSE(s.gave_up);
    // The token buffer of the last block: flag byte 0110 0000, the literal,
    // then matches 256 (symbol 509) and 43 (symbol 296) at distance field 0.
    const lh5::BlockCoder& c = lh5::storage().coder;
    const std::vector<std::uint8_t> tokens(c.tokens.get(), c.tokens.get() + c.fill);
    EXPECT_EQ(tokens, (std::vector<std::uint8_t>{0x60, 'z', 509 - 256, 0, 0, 296 - 256, 0, 0}));
    BitReader bits{s.data};
    EXPECT_EQ(bits.take(16), 3u);  // tokens in the block
    EXPECT_EQ(lh5_expand_buffer(s.data, input.size()), input);
}

TEST(Lh5Encoder, OneSymbolBlockUsesNoBitsPerToken) {
    std::vector<std::uint8_t> out;
    start_coder(out);
    for (int i = 0; i < 5; ++i) queue_token('A', 0);
    finish_coder();
    // 16 count + 5 + 5 + 9 + 9 (one symbol) + 4 + 4 (one distance class)
    // = 52 bits; 7 filler bits push out the half-full seventh byte.
    ASSERT_EQ(out.size(), 7u);
    BitReader bits{out};
    EXPECT_EQ(bits.take(16), 5u);
    EXPECT_EQ(bits.take(5), 0u);
    EXPECT_EQ(bits.take(5), 0u);
    EXPECT_EQ(bits.take(9), 0u);
    EXPECT_EQ(bits.take(9), unsigned('A'));
    EXPECT_EQ(bits.take(4), 0u);
    EXPECT_EQ(bits.take(4), 0u);
    EXPECT_EQ(lh5_expand_buffer(out, 5), std::vector<std::uint8_t>(5, 'A'));
}

TEST(Lh5Encoder, BlockEndsWhenTheTokenBufferReaches16360Bytes) {
    // Eight literals take nine bytes; the 1818th group ends at 16362, so
    // the 14545th literal starts a new block.
    std::vector<std::uint8_t> out, input;
    start_coder(out);
    for (int i = 0; i < 14545; ++i) {
        const auto b = static_cast<std::uint8_t>((i * 7) % 251);
        input.push_back(b);
        queue_token(b, 0);
    }
    finish_coder();
    BitReader bits{out};
    EXPECT_EQ(bits.take(16), 14544u);
    EXPECT_EQ(lh5_expand_buffer(out, input.size()), input);
}

// Queues `groups` groups of eight tokens, `matches` of them 3-byte matches
// (spread over the first groups), then `tail` literals; returns the token
// count of the first block written.
unsigned first_block_count(int groups, int matches, int tail) {
    std::vector<std::uint8_t> out;
    start_coder(out);
    for (int i = 0; i < groups * 8; ++i) {
        if (i < matches * 8 && i % 8 == 0)
            queue_token(256, 5);
        else
            queue_token(static_cast<unsigned>(i % 200), 0);
    }
    for (int i = 0; i < tail; ++i) queue_token('t', 0);
    finish_coder();
    BitReader bits{out};
    return bits.take(16);
}

TEST(Lh5Encoder, BlockBoundaryIsExactlyAt16360Bytes) {
    // 1816 groups with 8 matches fill 1816 * 9 + 8 * 2 = 16360 bytes: the
    // next group starts a new block.
    EXPECT_EQ(first_block_count(1816, 8, 1), 1816u * 8);
    // 1815 groups with 12 matches fill 16359 bytes: one more group fits,
    // and the block ends only after it.
    EXPECT_EQ(first_block_count(1815, 12, 9), 1816u * 8);
}

TEST(Lh5Encoder, FibonacciCountsAreLimitedTo16Bits) {
    // Fibonacci counts over 20 symbols make a tree 19 deep: leaves at depth
    // 16 and more count as 16, over-filling the code by 3, so three steps
    // of "17" bring it back: lengths 1..13 once, 15 once, 16 six times.
    std::array<std::uint16_t, 2 * 20 - 1> freq{};
    freq[0] = freq[1] = 1;
    for (int i = 2; i < 20; ++i) freq[i] = static_cast<std::uint16_t>(freq[i - 1] + freq[i - 2]);
    std::array<std::uint8_t, 20> lengths{};
    std::array<std::uint16_t, 20> codes{};
    console::Capture cap;
    lh5::storage().voice = console::voice();  // as a pack sets it
    const int root = build_huffman_code(20, freq.data(), lengths.data(), codes.data());
    lh5::storage().voice = {};
    EXPECT_EQ(cap.err(), "171717");
    EXPECT_GE(root, 20);
    std::array<int, 17> count{};
    unsigned kraft = 0;
    for (std::uint8_t len : lengths) {
        ASSERT_GE(len, 1);
        ASSERT_LE(len, 16);
        ++count[len];
        kraft += 1u << (16 - len);
    }
    EXPECT_EQ(kraft, 65536u);
    for (int d = 1; d <= 13; ++d) EXPECT_EQ(count[d], 1) << d;
    EXPECT_EQ(count[14], 0);
    EXPECT_EQ(count[15], 1);
    EXPECT_EQ(count[16], 6);
    // The most frequent symbol has the shortest code.
    EXPECT_EQ(lengths[19], 1);
    // Canonical: within one length, codes rise with the symbol number.
    for (int a = 0; a < 20; ++a)
        for (int b = a + 1; b < 20; ++b)
            if (lengths[a] == lengths[b]) {
                EXPECT_LT(codes[a], codes[b]);
            }
}

TEST(Lh5Encoder, HuffmanTieBreaksAndSingleSymbols) {
    std::array<std::uint16_t, 2 * 4 - 1> freq{3, 1, 1, 3};
    std::array<std::uint8_t, 4> len{};
    std::array<std::uint16_t, 4> code{};
    // Worked by hand: 1 and 2 leave the heap first (node 4, count 2); then
    // 3 is taken against node 4 (node 5, count 5), although symbols 0 and 3
    // tie at 3, because the sift keeps the left child on equal counts; last
    // 0 with node 5. So 0 gets 1 bit, 3 gets 2, 1 and 2 get 3.
    build_huffman_code(4, freq.data(), len.data(), code.data());
    EXPECT_EQ(len, (std::array<std::uint8_t, 4>{1, 3, 3, 2}));
    EXPECT_EQ(code, (std::array<std::uint16_t, 4>{0b0, 0b110, 0b111, 0b10}));

    std::array<std::uint16_t, 2 * 4 - 1> one{0, 0, 9, 0};
    EXPECT_EQ(build_huffman_code(4, one.data(), len.data(), code.data()), 2);
    EXPECT_EQ(len[2], 0);
    std::array<std::uint16_t, 2 * 4 - 1> none{};
    EXPECT_EQ(build_huffman_code(4, none.data(), len.data(), code.data()), 0);
}

TEST(Lh5Encoder, TinyInputsGiveUp) {
    EXPECT_TRUE(lh5_compress_buffer({}).gave_up);
    EXPECT_TRUE(lh5_compress_buffer(std::vector<std::uint8_t>{7}).gave_up);
    EXPECT_TRUE(lh5_compress_buffer(std::vector<std::uint8_t>{7, 7}).gave_up);
    EXPECT_TRUE(lh5_compress_buffer(testkit::corpus(testkit::CorpusKind::Random, 5000)).gave_up);
}

TEST(Lh5Encoder, LastByteMayMakeTheStreamAsLongAsTheInput) {
    // Nine zeros code into exactly nine bytes: not smaller, yet not given up.
    const std::vector<std::uint8_t> input(9, 0);
    const Lh5Stream s = lh5_compress_buffer(input);
    EXPECT_FALSE(s.gave_up);
    EXPECT_EQ(s.data.size(), 9u);
    EXPECT_EQ(lh5_expand_buffer(s.data, 9), input);
}

TEST(Lh5Encoder, RoundTripsAcrossWindowAndLookAheadBoundaries) {
    const std::size_t sizes[] = {3, 4, 100, 8191, 8192, 8193, 8447, 8448, 8449, 16384, 16385, 100000};
    for (testkit::CorpusKind kind : testkit::kAllCorpusKinds) {
        for (std::size_t size : sizes) {
            SCOPED_TRACE(std::string(testkit::corpus_name(kind)) + " " + std::to_string(size));
            const auto input = testkit::corpus(kind, size);
            const Lh5Stream s = lh5_compress_buffer(input);
            if (s.gave_up) {
                EXPECT_TRUE(kind == testkit::CorpusKind::Random || size <= 100);
                continue;
            }
            EXPECT_LT(s.data.size(), input.size() + 1);
            EXPECT_EQ(lh5_expand_buffer(s.data, input.size()), input);
        }
    }
}

TEST(Lh5Encoder, EveryPackStartsClean) {
    // A long input leaves the window full; a later short input must code as
    // it does in a fresh process (the match finder reads past the input's end).
    const auto shorter = testkit::corpus(testkit::CorpusKind::Text, 700, 5);
    const Lh5Stream first = lh5_compress_buffer(shorter);
    lh5_compress_buffer(testkit::corpus(testkit::CorpusKind::Code, 60000, 9));
    const Lh5Stream again = lh5_compress_buffer(shorter);
    EXPECT_EQ(first.data, again.data);
    ASSERT_FALSE(first.gave_up);
}

}  // namespace
