// LH5 decoding.
#include "archive/lh5_decoder.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "archive/codec_storage.hpp"
#include "archive/decode_table.hpp"
#include "common/fatal.hpp"

namespace {

using namespace lh5;

// ---- Bit input: a 64-bit window; the stream's next bit is bit 63. ----

// Tops the window up to at least 57 valid bits. Past the source's end the
// stream continues with zero bytes.
inline void refill(DecoderState& d) {
    ByteSource& s = storage().source;
    while (d.bit_count <= 56) {
        if (s.buffer_pos == s.buffer_end) {
            s.buffer_end = source_read(s.buffer);
            s.buffer_pos = 0;
            if (s.buffer_end == 0) {
                d.bit_count = 64;  // the rest reads as zero bits
                return;
            }
        }
        d.bits |= static_cast<std::uint64_t>(s.buffer[s.buffer_pos++]) << (56 - d.bit_count);
        d.bit_count += 8;
    }
}

// The next 16 bits.
inline unsigned window16(const DecoderState& d) { return static_cast<unsigned>(d.bits >> 48); }

// Drops n (0 to 24) bits.
inline void skip_bits(DecoderState& d, int n) {
    d.bits <<= n;
    d.bit_count -= n;
    if (d.bit_count < 32) refill(d);
}

inline unsigned take_bits(DecoderState& d, int n) {
    if (n == 0) return 0;
    unsigned v = static_cast<unsigned>(d.bits >> (64 - n));
    skip_bits(d, n);
    return v;
}

// Follows the node arrays from `node` with the window's bits from `mask`
// down, until a symbol below `symbols` is reached.
inline unsigned walk_nodes(const DecoderState& d, unsigned node, unsigned mask, unsigned symbols) {
    const CodecStorage& st = storage();
    const unsigned w = window16(d);
    while (node >= symbols) {
        if (mask == 0) fatal("Bad table");  // cannot happen for a complete code
        node = (w & mask) ? st.right[node] : st.left[node];
        mask >>= 1;
    }
    return node;
}

// Pre-code or distance-class lengths: `nn` symbols, count field `width`
// bits, a 2-bit zero run after place `special` (negative: none).
void read_aux_lengths(DecoderState& d, int nn, int width, int special) {
    const int n = static_cast<int>(take_bits(d, width));
    if (n == 0) {
        const unsigned c = take_bits(d, width);
        if (c >= static_cast<unsigned>(nn)) fatal("Bad table");
        std::fill(d.aux_lengths.begin(), d.aux_lengths.end(), 0);
        std::fill(d.aux_table.begin(), d.aux_table.end(), static_cast<std::uint16_t>(c));
        return;
    }
    if (n > nn) fatal("Bad table");
    int i = 0;
    while (i < n) {
        unsigned c = window16(d) >> 13;
        if (c == 7) {
            for (unsigned mask = 1u << 12; mask != 0 && (window16(d) & mask); mask >>= 1) ++c;
        }
        skip_bits(d, c < 7 ? 3 : static_cast<int>(c) - 3);
        if (c > static_cast<unsigned>(kMaxCodeLength)) fatal("Bad table");
        d.aux_lengths[i++] = static_cast<std::uint8_t>(c);
        if (i == special) {
            int zeros = static_cast<int>(take_bits(d, 2));
            if (i + zeros > nn) fatal("Bad table");
            while (zeros-- > 0) d.aux_lengths[i++] = 0;
        }
    }
    while (i < kNumPre) d.aux_lengths[i++] = 0;
    build_decode_table(std::span(d.aux_lengths).first(nn), kAuxTableBits, d.aux_table);
}

void read_symbol_lengths(DecoderState& d) {
    const int n = static_cast<int>(take_bits(d, kSymbolCountBits));
    if (n == 0) {
        const unsigned c = take_bits(d, kSymbolCountBits);
        if (c >= static_cast<unsigned>(kNumSymbols)) fatal("Bad table");
        std::fill(d.symbol_lengths.begin(), d.symbol_lengths.end(), 0);
        std::fill(d.symbol_table.begin(), d.symbol_table.end(), static_cast<std::uint16_t>(c));
        return;
    }
    if (n > kNumSymbols) fatal("Bad table");
    int i = 0;
    while (i < n) {
        unsigned c = d.aux_table[window16(d) >> 8];
        if (c >= static_cast<unsigned>(kNumPre)) c = walk_nodes(d, c, 1u << 7, kNumPre);
        skip_bits(d, d.aux_lengths[c]);
        if (c <= 2) {
            int zeros = c == 0 ? 1 : c == 1 ? static_cast<int>(take_bits(d, 4)) + 3
                                            : static_cast<int>(take_bits(d, kSymbolCountBits)) + 20;
            if (i + zeros > kNumSymbols) fatal("Bad table");
            std::memset(&d.symbol_lengths[i], 0, static_cast<std::size_t>(zeros));
            i += zeros;
        } else {
            d.symbol_lengths[i++] = static_cast<std::uint8_t>(c - 2);
        }
    }
    std::fill(d.symbol_lengths.begin() + i, d.symbol_lengths.end(), 0);
    build_decode_table(d.symbol_lengths, kSymbolTableBits, d.symbol_table);
}

inline unsigned decode_symbol(DecoderState& d) {
    if (d.block_left == 0) {
        d.block_left = take_bits(d, 16);
        read_aux_lengths(d, kNumPre, kPreCountBits, kPreSpecial);
        read_symbol_lengths(d);
        read_aux_lengths(d, kNumDist, kDistCountBits, -1);
    }
    --d.block_left;
    unsigned j = d.symbol_table[window16(d) >> (16 - kSymbolTableBits)];
    if (j >= static_cast<unsigned>(kNumSymbols))
        j = walk_nodes(d, j, 1u << (15 - kSymbolTableBits), kNumSymbols);
    skip_bits(d, d.symbol_lengths[j]);
    return j;
}

inline unsigned decode_distance(DecoderState& d) {
    unsigned j = d.aux_table[window16(d) >> (16 - kAuxTableBits)];
    if (j >= static_cast<unsigned>(kNumDist)) j = walk_nodes(d, j, 1u << (15 - kAuxTableBits), kNumDist);
    skip_bits(d, d.aux_lengths[j]);
    if (j == 0) return 0;
    return (1u << (j - 1)) + take_bits(d, static_cast<int>(j) - 1);
}

}  // namespace

void lh5_expand_start() {
    DecoderState& d = storage().decoder;
    d.bits = 0;
    d.bit_count = 0;
    refill(d);
    d.block_left = 0;
    d.copy_left = 0;
    d.copy_from = 0;
}

void lh5_expand(std::size_t count, std::uint8_t* buffer) {
    DecoderState& d = storage().decoder;
    constexpr std::uint32_t kRing = kDictSize - 1;
    std::uint32_t r = 0;
    const std::uint32_t n = static_cast<std::uint32_t>(count);
    std::uint32_t left = d.copy_left;
    std::uint32_t from = d.copy_from;
    for (;;) {
        while (left > 0) {
            buffer[r] = buffer[from];
            from = (from + 1) & kRing;
            --left;
            if (++r == n) {
                d.copy_left = left;
                d.copy_from = from;
                return;
            }
        }
        const unsigned s = decode_symbol(d);
        if (s <= 255) {
            buffer[r] = static_cast<std::uint8_t>(s);
            if (++r == n) {
                d.copy_left = 0;
                return;
            }
        } else {
            left = s - (256 - kThreshold);
            from = (r - decode_distance(d) - 1) & kRing;
        }
    }
}

std::vector<std::uint8_t> lh5_expand_buffer(std::span<const std::uint8_t> stream,
                                            std::size_t original_size) {
    std::vector<std::uint8_t> out;
    out.reserve(original_size);
    std::array<std::uint8_t, kPieceSize> ring{};
    source_from_memory(stream);
    lh5_expand_start();
    for (std::size_t left = original_size; left > 0;) {
        std::size_t n = std::min(left, kPieceSize);
        lh5_expand(n, ring.data());
        out.insert(out.end(), ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(n));
        left -= n;
    }
    return out;
}
