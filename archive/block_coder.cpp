// Token queueing, block output and the bit writer.
#include "archive/block_coder.hpp"

#include <algorithm>
#include <bit>
#include <new>

#include "archive/codec_storage.hpp"
#include "archive/huffman.hpp"
#include "common/fatal.hpp"

namespace {

using namespace lh5;

inline void put_byte(unsigned b) {
    Counters& k = storage().counters;
    if (k.packed_size < k.original_size) {
        sink_put(static_cast<std::uint8_t>(b));
        ++k.packed_size;
    } else {
        k.give_up = true;
    }
}

// Number of symbol lengths that are written: trailing zeros dropped.
int used_symbols(const BlockCoder& c) {
    int n = kNumSymbols;
    while (n > 0 && c.symbol_lengths[n - 1] == 0) --n;
    return n;
}

// Pre-code counts of the symbol lengths: lengths k > 0 as k + 2; zero runs
// of 1-2 as that many 0s, 3-18 as one 1, 19 as a 0 and a 1, 20+ as one 2.
void count_pre_freq(BlockCoder& c) {
    std::fill(c.pre_freq.begin(), c.pre_freq.begin() + kNumPre, 0);
    const int n = used_symbols(c);
    int i = 0;
    while (i < n) {
        const int k = c.symbol_lengths[i++];
        if (k != 0) {
            ++c.pre_freq[k + 2];
            continue;
        }
        int run = 1;
        while (i < n && c.symbol_lengths[i] == 0) ++i, ++run;
        if (run <= 2) {
            c.pre_freq[0] = static_cast<std::uint16_t>(c.pre_freq[0] + run);
        } else if (run <= 18) {
            ++c.pre_freq[1];
        } else if (run == 19) {
            ++c.pre_freq[0];
            ++c.pre_freq[1];
        } else {
            ++c.pre_freq[2];
        }
    }
}

// Pre-code or distance lengths: count field `width` bits; lengths up to 6
// in 3 bits, longer ones as k - 4 one bits and a zero; after place
// `special` a 2-bit count of the zero lengths that follow (up to place 6).
void write_aux_lengths(const BlockCoder& c, int n, int width, int special) {
    while (n > 0 && c.aux_lengths[n - 1] == 0) --n;
    emit_bits(width, static_cast<unsigned>(n));
    int i = 0;
    while (i < n) {
        const int k = c.aux_lengths[i++];
        if (k <= 6)
            emit_bits(3, static_cast<unsigned>(k));
        else
            emit_bits(k - 3, (1u << (k - 3)) - 2);
        if (i == special) {
            while (i < 6 && c.aux_lengths[i] == 0) ++i;
            emit_bits(2, static_cast<unsigned>(i - 3) & 3);
        }
    }
}

void write_symbol_lengths(const BlockCoder& c) {
    const int n = used_symbols(c);
    emit_bits(kSymbolCountBits, static_cast<unsigned>(n));
    auto pre = [&c](int p) { emit_bits(c.aux_lengths[p], c.aux_codes[p]); };
    int i = 0;
    while (i < n) {
        const int k = c.symbol_lengths[i++];
        if (k != 0) {
            pre(k + 2);
            continue;
        }
        int run = 1;
        while (i < n && c.symbol_lengths[i] == 0) ++i, ++run;
        if (run <= 2) {
            for (int r = 0; r < run; ++r) pre(0);
        } else if (run <= 18) {
            pre(1);
            emit_bits(4, static_cast<unsigned>(run - 3));
        } else if (run == 19) {
            pre(0);
            pre(1);
            emit_bits(4, 15);
        } else {
            pre(2);
            emit_bits(kSymbolCountBits, static_cast<unsigned>(run - 20));
        }
    }
}

}  // namespace

void emit_bits(int n, unsigned value) {
    if (n == 0) return;
    BlockCoder& c = storage().coder;
    value &= (1u << n) - 1;
    if (n < c.out_free) {
        c.out_free -= n;
        c.out_byte |= value << c.out_free;
        return;
    }
    n -= c.out_free;
    put_byte(c.out_byte | (value >> n));
    if (n >= 8) {
        n -= 8;
        put_byte((value >> n) & 0xFF);
    }
    c.out_free = 8 - n;
    c.out_byte = (value << c.out_free) & 0xFF;
}

void block_coder_start() {
    BlockCoder& c = storage().coder;
    if (c.token_capacity == 0) c.token_capacity = kTokenBufferSize;
    while (!c.tokens) {
        c.tokens.reset(new (std::nothrow) std::uint8_t[c.token_capacity]);
        if (c.tokens) break;
        c.token_capacity = (c.token_capacity / 10) * 9;
        if (c.token_capacity < kTokenBufferMin) fatal("Out of memory.");
    }
    c.tokens[0] = 0;
    c.symbol_freq.fill(0);
    c.dist_freq.fill(0);
    c.pre_freq.fill(0);
    c.flag_mask = 0;
    c.fill = 0;
    c.flag_pos = 0;
    c.out_byte = 0;
    c.out_free = 8;
}

void queue_token(unsigned symbol, unsigned distance) {
    BlockCoder& c = storage().coder;
    if ((c.flag_mask >>= 1) == 0) {
        c.flag_mask = 0x80;
        if (c.fill >= c.token_capacity - 24) {
            flush_block();
            if (storage().counters.give_up) return;
            c.fill = 0;
        }
        c.flag_pos = c.fill++;
        c.tokens[c.flag_pos] = 0;
    }
    c.tokens[c.fill++] = static_cast<std::uint8_t>(symbol);
    ++c.symbol_freq[symbol];
    if (symbol >= 256) {
        c.tokens[c.flag_pos] = static_cast<std::uint8_t>(c.tokens[c.flag_pos] | c.flag_mask);
        c.tokens[c.fill++] = static_cast<std::uint8_t>(distance >> 8);
        c.tokens[c.fill++] = static_cast<std::uint8_t>(distance);
        ++c.dist_freq[std::bit_width(distance)];
    }
}

void flush_block() {
    CodecStorage& st = storage();
    BlockCoder& c = st.coder;
    int root = build_huffman_code(kNumSymbols, c.symbol_freq.data(), c.symbol_lengths.data(), c.symbol_codes.data());
    const unsigned size = c.symbol_freq[root];
    emit_bits(16, size);
    if (root >= kNumSymbols) {
        count_pre_freq(c);
        root = build_huffman_code(kNumPre, c.pre_freq.data(), c.aux_lengths.data(), c.aux_codes.data());
        if (root >= kNumPre) {
            write_aux_lengths(c, kNumPre, kPreCountBits, kPreSpecial);
        } else {
            emit_bits(kPreCountBits, 0);
            emit_bits(kPreCountBits, static_cast<unsigned>(root));
        }
        write_symbol_lengths(c);
    } else {
        emit_bits(kPreCountBits, 0);
        emit_bits(kPreCountBits, 0);
        emit_bits(kSymbolCountBits, 0);
        emit_bits(kSymbolCountBits, static_cast<unsigned>(root));
    }
    root = build_huffman_code(kNumDist, c.dist_freq.data(), c.aux_lengths.data(), c.aux_codes.data());
    if (root >= kNumDist) {
        write_aux_lengths(c, kNumDist, kDistCountBits, -1);
    } else {
        emit_bits(kDistCountBits, 0);
        emit_bits(kDistCountBits, static_cast<unsigned>(root));
    }

    std::size_t at = 0;
    unsigned flags = 0;
    for (unsigned i = 0; i < size; ++i) {
        if (i % 8 == 0)
            flags = c.tokens[at++];
        else
            flags <<= 1;
        if (flags & 0x80) {
            const unsigned symbol = c.tokens[at++] + 256u;
            emit_bits(c.symbol_lengths[symbol], c.symbol_codes[symbol]);
            unsigned distance = static_cast<unsigned>(c.tokens[at] << 8) | c.tokens[at + 1];
            at += 2;
            const int cls = std::bit_width(distance);
            emit_bits(c.aux_lengths[cls], c.aux_codes[cls]);
            if (cls > 1) emit_bits(cls - 1, distance);
        } else {
            const unsigned symbol = c.tokens[at++];
            emit_bits(c.symbol_lengths[symbol], c.symbol_codes[symbol]);
        }
        if (st.counters.give_up) return;
    }
    std::fill(c.symbol_freq.begin(), c.symbol_freq.begin() + kNumSymbols, 0);
    std::fill(c.dist_freq.begin(), c.dist_freq.begin() + kNumDist, 0);
}
