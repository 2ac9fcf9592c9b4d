// Block codes, their tables' bits, and block output for the near-optimal
// packer. The tables are written by one routine over any bit sink, so the
// size a split is judged by is the size the block is written at.
#include "archive/best_block.hpp"

#include <algorithm>

#include "archive/best_huffman.hpp"

namespace best {
namespace {

constexpr int kPreSpecial = 3;              // a 2-bit zero run follows the third pre-code length
constexpr std::uint8_t kUnusedPreCost = 7;  // bits a zero-run piece the pre-code leaves out is taken to cost

struct BitCounter {
    std::uint64_t bits = 0;
    void put(int n, unsigned) { bits += static_cast<unsigned>(n); }
};

int used(std::span<const std::uint8_t> lengths) {
    int n = static_cast<int>(lengths.size());
    while (n > 0 && lengths[n - 1] == 0) --n;
    return n;
}

// A run of `run` zero lengths (at most 510) in the cheapest pieces under
// the costs in bits of a single zero, of 3-18 zeros and of 20-531 zeros:
// `a` single zeros, `b` short runs and `c` long ones (c is 0 or 1, since one
// long piece covers the whole alphabet). `f(pre, extra_bits, extra)`.
template <class F>
void put_zero_run(int run, const std::array<std::uint8_t, 3>& cost, F f) {
    int best_a = run, best_b = 0, best_c = 0;
    std::uint32_t best = UINT32_MAX;
    for (int c = 0; c <= (run >= 20 ? 1 : 0); ++c) {
        for (int b = 0; 3 * b + 20 * c <= run; ++b) {
            const int a = std::max(0, run - 531 * c - 18 * b);
            if (run - a < 20 * c + 3 * b) continue;
            const std::uint32_t bits = static_cast<std::uint32_t>(a * cost[0] + b * (cost[1] + 4) + c * (cost[2] + 9));
            if (bits < best) best = bits, best_a = a, best_b = b, best_c = c;
        }
    }
    for (int i = 0; i < best_a; ++i) f(0, 0, 0);
    int rest = run - best_a;
    if (best_c) {
        const int piece = std::min(531, rest - 3 * best_b);
        f(2, 9, piece - 20);
        rest -= piece;
    }
    for (int left = best_b; left > 0; --left) {
        const int piece = std::min(18, rest - 3 * (left - 1));
        f(1, 4, piece - 3);
        rest -= piece;
    }
}

// Walks the symbol lengths as the pre-code codes them: a length k > 0 as
// k + 2; zero runs as single zeros (0), 3-18 zeros (1 and 4 bits) and
// 20-531 zeros (2 and 9 bits), the pieces chosen under the code's run costs.
template <class F>
void walk_symbol_lengths(const BlockCode& c, F f) {
    const int n = used(c.symbol_length);
    int i = 0;
    while (i < n) {
        const int k = c.symbol_length[i++];
        if (k != 0) {
            f(k + 2, 0, 0);
            continue;
        }
        int run = 1;
        while (i < n && c.symbol_length[i] == 0) ++i, ++run;
        put_zero_run(run, c.run_cost, f);
    }
}

// Pre-code or class lengths: a count, lengths up to 6 in 3 bits and longer
// ones as k - 4 one bits and a zero; after place `special` a 2-bit count of
// the zero lengths that follow (up to place 6), which are skipped.
template <class Out>
void put_aux_lengths(Out& o, std::span<const std::uint8_t> lengths, int width, int special) {
    const int n = used(lengths);
    o.put(width, static_cast<unsigned>(n));
    int i = 0;
    while (i < n) {
        const int k = lengths[i++];
        if (k <= 6)
            o.put(3, static_cast<unsigned>(k));
        else
            o.put(k - 3, (1u << (k - 3)) - 2);
        if (i == special) {
            while (i < 6 && lengths[i] == 0) ++i;
            o.put(2, static_cast<unsigned>(i - 3) & 3);
        }
    }
}

template <class Out>
void put_tables(Out& o, const BlockCode& c) {
    if (c.single_symbol < 0) {
        if (c.single_pre < 0) {
            put_aux_lengths(o, c.pre_length, 5, kPreSpecial);
        } else {
            o.put(5, 0);
            o.put(5, static_cast<unsigned>(c.single_pre));
        }
        o.put(9, static_cast<unsigned>(used(c.symbol_length)));
        walk_symbol_lengths(c, [&](int pre, int extra_bits, int extra) {
            o.put(c.pre_length[pre], c.pre_code[pre]);
            o.put(extra_bits, static_cast<unsigned>(extra));
        });
    } else {
        o.put(5, 0);
        o.put(5, 0);
        o.put(9, 0);
        o.put(9, static_cast<unsigned>(c.single_symbol));
    }
    if (c.single_class < 0) {
        put_aux_lengths(o, c.class_length, 4, -1);
    } else {
        o.put(4, 0);
        o.put(4, static_cast<unsigned>(c.single_class));
    }
}

// The code of one alphabet: lengths and codes, or the one symbol in use.
template <std::size_t N>
int make_code(std::span<const std::uint32_t> freq, std::array<std::uint8_t, N>& length,
              std::array<std::uint16_t, N>& code, bool with_codes, int limit = 16) {
    int in_use = 0, last = 0;
    for (std::size_t i = 0; i < N; ++i)
        if (freq[i] != 0) ++in_use, last = static_cast<int>(i);
    length.fill(0);
    code.fill(0);
    if (in_use < 2) return last;
    code_lengths(freq, length, limit);
    if (with_codes) canonical_codes(length, code);
    return -1;
}

// The pre-code of the symbol lengths as `c.run_cost` splits their zero runs.
void make_pre_code(BlockCode& c, bool with_codes) {
    std::array<std::uint32_t, kPreSymbols> pre{};
    walk_symbol_lengths(c, [&](int p, int, int) { ++pre[p]; });
    c.single_pre = make_code<kPreSymbols>(pre, c.pre_length, c.pre_code, with_codes);
}

std::uint64_t table_bits(const BlockCode& c) {
    BitCounter o;
    put_tables(o, c);
    return o.bits;
}

// The lengths and, when asked, the codes of a block. Zero runs are split
// first as if every pre-code symbol took 4 bits (a run of 3-18 as one
// piece, of 19 as a zero and a piece, longer as one long piece), then again
// under the pre-code that gave, which is kept when its tables are smaller.
BlockCode block_code(const Stats& s, bool with_codes, int limit = 16) {
    BlockCode c;
    c.single_symbol = make_code<kSymbols>(s.symbol, c.symbol_length, c.symbol_code, with_codes, limit);
    c.single_class = make_code<kClasses>(s.distance, c.class_length, c.class_code, with_codes);
    if (c.single_symbol >= 0) return c;
    make_pre_code(c, with_codes);
    BlockCode again = c;
    for (int p = 0; p < 3; ++p)
        again.run_cost[p] = c.single_pre == p ? 0 : c.pre_length[p] ? c.pre_length[p] : kUnusedPreCost;
    make_pre_code(again, with_codes);
    return table_bits(again) < table_bits(c) ? again : c;
}

}  // namespace

void Stats::add(Token t) {
    ++symbol[symbol_of(t)];
    if (t.length != 1) ++distance[class_of(t.value)];
}

void Stats::add(const Stats& s) {
    for (int i = 0; i < kSymbols; ++i) symbol[i] += s.symbol[i];
    for (int i = 0; i < kClasses; ++i) distance[i] += s.distance[i];
}

void Stats::subtract(const Stats& s) {
    for (int i = 0; i < kSymbols; ++i) symbol[i] -= s.symbol[i];
    for (int i = 0; i < kClasses; ++i) distance[i] -= s.distance[i];
}

Stats count_tokens(std::span<const Token> tokens) {
    Stats s;
    for (Token t : tokens) s.add(t);
    return s;
}

BlockCode make_block_code(const Stats& s) {
    return block_code(s, true);
}

// The codes that write the block in fewest bits, the symbol code's lengths
// limited to 16 bits or fewer: a shorter limit may save more in the tables
// than it costs in the tokens.
BlockCode cheapest_block_code(const Stats& s) {
    BlockCode best = block_code(s, true);
    std::uint64_t best_bits = block_bits(s, best);
    for (int limit = 15; limit >= 10; --limit) {
        BlockCode c = block_code(s, true, limit);
        const std::uint64_t bits = block_bits(s, c);
        if (bits < best_bits) best_bits = bits, best = c;
    }
    return best;
}

std::uint64_t block_bits(const Stats& s, const BlockCode& code) {
    BitCounter o;
    o.put(16, 0);
    put_tables(o, code);
    for (int i = 0; i < kSymbols; ++i) o.bits += std::uint64_t{s.symbol[i]} * code.symbol_length[i];
    for (int i = 0; i < kClasses; ++i)
        o.bits += std::uint64_t{s.distance[i]} * (code.class_length[i] + (i > 1 ? i - 1 : 0));
    return o.bits;
}

std::uint64_t block_bits(const Stats& s) {
    return block_bits(s, block_code(s, false));
}

void BitWriter::put(int n, unsigned value) {
    if (n == 0) return;
    holder = (holder << n) | (value & ((1u << n) - 1));
    held += n;
    while (held >= 8) {
        held -= 8;
        out->push_back(static_cast<std::uint8_t>(holder >> held));
    }
    holder &= (1u << held) - 1;
}

void BitWriter::pad() {
    if (held > 0) put(8 - held, 0);
}

void write_block(BitWriter& w, std::span<const Token> tokens) {
    const Stats s = count_tokens(tokens);
    const BlockCode c = cheapest_block_code(s);
    w.put(16, static_cast<unsigned>(tokens.size()));
    put_tables(w, c);
    for (Token t : tokens) {
        const int sym = symbol_of(t);
        w.put(c.symbol_length[sym], c.symbol_code[sym]);
        if (t.length == 1) continue;
        const unsigned field = t.value - 1u;
        const int cls = class_of(t.value);
        w.put(c.class_length[cls], c.class_code[cls]);
        if (cls > 1) w.put(cls - 1, field);
    }
}

}  // namespace best
