// The decoder on hand-made and damaged streams: every inconsistent table is
// "Bad table", nothing is read or written outside an array, and the output
// always has the length asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

TEST(Lh5Decoder, ShortStreamEndsEarly) {
    const auto input = testkit::corpus(testkit::CorpusKind::Text, 30000);
    const Lh5Stream s = lh5_compress_buffer(input);
    ASSERT_FALSE(s.gave_up);
    const std::vector<std::uint8_t> cut(s.data.begin(),
                                        s.data.begin() + static_cast<std::ptrdiff_t>(s.data.size() / 2));
    const auto out = lh5_expand_buffer(cut, input.size());
    // The part the bytes that are there describe is right (the last
    // symbols, read partly from the margin's zero bits, may not be); the
    // expansion stops where the stream runs out instead of going on.
    ASSERT_GT(out.size(), 1000u);
    ASSERT_LT(out.size(), input.size());
    const auto differ = std::mismatch(out.begin(), out.end(), input.begin()).first;
    EXPECT_GT(differ - out.begin(), static_cast<std::ptrdiff_t>(out.size()) - 512);
}

// Where the stream ends: a block of one-symbol codes costs 52 bits, then
// nothing per symbol. A sound stream that ends on its last bit expands in
// full; one whose next block header lies wholly past the end stops before
// it, since the window may take only kReadAhead (8) bytes past the end.
TEST(Lh5Decoder, StreamEndsAtTheReadAheadMargin) {
    auto block = [](BitWriter& w, unsigned count, unsigned literal) {
        w.put(16, count);
        w.put(5, 0), w.put(5, 0), w.put(9, 0), w.put(9, literal);
        w.put(4, 0), w.put(4, 0);
    };
    BitWriter sound;  // 300 'A', then a zero block (count 0 wraps) of literal 0: 104 bits
    block(sound, 300, 'A');
    block(sound, 0, 0);
    ASSERT_EQ(sound.bytes.size(), 13u);
    BitWriter alone;  // only the first block: its 300 'A' are all the data gives
    block(alone, 300, 'A');
    BitWriter chained;  // 20 one-byte blocks
    for (unsigned i = 1; i <= 20; ++i) block(chained, 1, i);
    const std::vector<std::uint8_t> cut65(chained.bytes.begin(), chained.bytes.begin() + 65);
    const std::vector<std::uint8_t> cut64(chained.bytes.begin(), chained.bytes.begin() + 64);
    const struct {
        const char* what;
        std::vector<std::uint8_t> stream;
        std::size_t asked, expect;
    } rows[] = {
        {"ends on its last bit", sound.bytes, 5300, 5300},
        {"next block wholly past the end", alone.bytes, 5300, 300},
        {"exactly the first block's output", alone.bytes, 300, 300},
        {"no data at all", {}, 100, 0},
        {"chain of blocks, whole", chained.bytes, 20, 20},
        // 65 bytes hold 10 whole headers (520 bits): the 11th, read from
        // zero bits, would be a block without end. With 64 the 10th lacks
        // its last 8 bits, zero bits that the margin supplies.
        {"chain of blocks, cut after 10 headers", cut65, 20, 10},
        {"chain of blocks, cut in the 10th header's last byte", cut64, 20, 10},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const auto out = lh5_expand_buffer(row.stream, row.asked);
        EXPECT_EQ(out.size(), row.expect);
        for (std::size_t i = 0; i < out.size(); ++i) {
            const bool chain = row.stream == chained.bytes || row.stream == cut65 || row.stream == cut64;
            const unsigned want = chain ? i + 1 : i < 300 ? 'A' : 0;
            ASSERT_EQ(out[i], want) << i;
        }
    }
    // Once the stream has run out, every later call gives nothing.
    std::array<std::uint8_t, lh5::kPieceSize> ring{};
    lh5::source_from_memory(alone.bytes);
    lh5_expand_start();
    EXPECT_EQ(lh5_expand(400, ring.data()), 300u);
    EXPECT_EQ(lh5_expand(400, ring.data()), 0u);
}

// The fast loop (the whole output at once) and the plain loop alone (pieces
// shorter than the fast loop's margin, so it never starts) on sound and
// damaged streams: the same bytes, the same stop and the same verdict.
TEST(Lh5Decoder, FastAndPlainLoopsStopAlike) {
    struct Outcome {
        std::vector<std::uint8_t> out;
        bool bad_table = false;
    };
    auto fast = [](const std::vector<std::uint8_t>& stream, std::size_t size) {
        Outcome o;
        lh5::source_from_memory(stream);
        lh5_expand_start();
        lh5_expand_vector(o.out, size);
        o.bad_table = lh5_bad_table();
        return o;
    };
    auto plain = [](const std::vector<std::uint8_t>& stream, std::size_t size) {
        Outcome o;
        std::array<std::uint8_t, 200> piece{};
        lh5::source_from_memory(stream);
        lh5_expand_start();
        for (std::size_t left = size; left > 0;) {
            const std::size_t n = std::min(left, piece.size());
            const std::size_t got = lh5_expand(n, piece.data());
            o.out.insert(o.out.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
            if (got < n) break;
            left -= n;
        }
        o.bad_table = lh5_bad_table();
        return o;
    };
    const auto input = testkit::corpus(testkit::CorpusKind::Code, 40000, 7);
    const Lh5Stream sound = lh5_compress_buffer(input);
    ASSERT_FALSE(sound.gave_up);
    auto cut = [&](std::size_t bytes) {
        return std::vector<std::uint8_t>(sound.data.begin(), sound.data.begin() + static_cast<std::ptrdiff_t>(bytes));
    };
    std::vector<std::uint8_t> no_table = sound.data;  // an over-full pre-code: 19 lengths of 1
    std::fill(no_table.begin() + 2, no_table.begin() + 12, 0x00);
    no_table[2] = 0x98;  // 5-bit count 19, then lengths from 0 bits: 0 0 0, zero run, ...
    // Literals, then a match reaching 100 bytes before the first one: zeros.
    std::vector<std::uint8_t> before_start;
    lh5::storage().counters = {};
    lh5::storage().counters.original_size = 1u << 20;
    lh5::sink_to_memory(before_start);
    block_coder_start();
    for (int i = 0; i < 600; ++i) queue_token(static_cast<unsigned>('a' + i % 3), 0);
    queue_token(256 + 253, 800);  // 256 bytes from 801 back: 201 zeros, then 'a' 'b' 'c' ...
    for (int i = 0; i < 600; ++i) queue_token(static_cast<unsigned>('x'), 0);
    flush_block();
    emit_bits(7, 0);
    lh5::sink_flush();
    std::vector<std::uint8_t> expect_before(600);
    for (int i = 0; i < 600; ++i) expect_before[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>('a' + i % 3);
    expect_before.insert(expect_before.end(), 201, 0);
    expect_before.insert(expect_before.end(), expect_before.begin(), expect_before.begin() + 55);
    expect_before.insert(expect_before.end(), 600, 'x');

    enum class Expect { Whole, EndsEarly, BadTable, Bytes };
    const struct {
        const char* what;
        std::vector<std::uint8_t> stream;
        std::size_t asked;
        Expect expect;
        std::vector<std::uint8_t> bytes;
    } rows[] = {
        {"sound", sound.data, input.size(), Expect::Whole, {}},
        {"asked for less than the stream holds", sound.data, 12345, Expect::Whole, {}},
        {"cut in the middle of a code, a third in", cut(sound.data.size() / 3), input.size(), Expect::EndsEarly, {}},
        {"cut 6 bytes before the end", cut(sound.data.size() - 6), input.size(), Expect::EndsEarly, {}},
        {"cut 30 bytes before the end", cut(sound.data.size() - 30), input.size(), Expect::EndsEarly, {}},
        {"a table that cannot be built", no_table, input.size(), Expect::BadTable, {}},
        {"a position past the start", before_start, expect_before.size(), Expect::Bytes, expect_before},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Outcome f = fast(row.stream, row.asked);
        const Outcome p = plain(row.stream, row.asked);
        EXPECT_TRUE(f.out == p.out) << f.out.size() << " and " << p.out.size() << " bytes";
        EXPECT_EQ(f.bad_table, p.bad_table);
        switch (row.expect) {
        case Expect::Whole:
            EXPECT_TRUE(std::equal(f.out.begin(), f.out.end(), input.begin()));
            EXPECT_EQ(f.out.size(), row.asked);
            break;
        case Expect::EndsEarly:
            EXPECT_FALSE(f.bad_table);
            EXPECT_LT(f.out.size(), row.asked);
            EXPECT_GT(f.out.size(), 1000u);
            EXPECT_TRUE(std::equal(f.out.begin(), f.out.end() - 512, input.begin()));
            break;
        case Expect::BadTable: EXPECT_TRUE(f.bad_table); break;
        case Expect::Bytes: EXPECT_TRUE(f.out == row.bytes); break;
        }
    }
    // Streams cut at every 50th byte, and damaged by flipped bits.
    std::mt19937 rng(27);
    int differing = 0;
    for (std::size_t at = 10; at < sound.data.size(); at += 50) {
        std::vector<std::uint8_t> flipped = sound.data;
        for (int k = 0; k < 3; ++k) flipped[rng() % flipped.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        for (const auto& stream : {cut(at), flipped}) {
            const Outcome f = fast(stream, input.size());
            const Outcome p = plain(stream, input.size());
            differing += f.out != p.out || f.bad_table != p.bad_table;
        }
    }
    EXPECT_EQ(differing, 0);
}

// Mutated and random streams: "Bad table", exactly the asked length, or
// fewer bytes when the stream runs out (then no more than a sound stream of
// the same length plus the 8-byte margin could give), with every access
// inside the arrays (the sanitizer build checks that).
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
    int bad_tables = 0, expanded = 0, ended_early = 0;
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
            for (std::size_t i = rng() % s.size(), n = 0; i < s.size() && n < 16; ++i, ++n)
                s[i] = static_cast<std::uint8_t>(rng());
            break;
        }
        const std::size_t size = 1 + rng() % (2 * sizes[which]);
        try {
            const auto out = lh5_expand_buffer(s, size);
            ASSERT_LE(out.size(), size);
            ++(out.size() == size ? expanded : ended_early);
        } catch (const FatalError& e) {
            ASSERT_EQ(e.message, "Bad table");
            ++bad_tables;
        }
    }
    // Every outcome occurs: the damage reaches the tables, the data and the end.
    EXPECT_GT(bad_tables, 100);
    EXPECT_GT(expanded, 100);
    EXPECT_GT(ended_early, 100);
}

}  // namespace
