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
// Kept in a local while decoding (stored in DecoderState between calls), so
// that writes to the output buffer do not force it back to memory.
struct Bits {
    std::uint64_t bits = 0;  // the next stream bits, the next one on top
    int count = 0;           // valid bits in `bits`
};

// Thrown by the bit input when the stream has run out, and by the table
// readers on inconsistent code lengths; lh5_expand catches both and ends
// the stream.
struct DataEnded {};
struct BadTable {};

// Tops the window up to at least 57 valid bits. Past the source's end the
// stream continues with zero bytes, at most kReadAhead of them.
inline void refill(Bits& d) {
    ByteSource& s = storage().source;
    if (s.buffer_end - s.buffer_pos >= 8) {  // whole bytes at once
        const std::uint8_t* p = &s.buffer[s.buffer_pos];
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
        const int take = (64 - d.count) / 8;
        v &= ~std::uint64_t{0} << (64 - 8 * take);
        d.bits |= v >> d.count;
        d.count += 8 * take;
        s.buffer_pos += static_cast<std::size_t>(take);
        return;
    }
    while (d.count <= 56) {
        if (s.buffer_pos == s.buffer_end) {
            s.buffer_end = source_read(s.buffer);
            s.buffer_pos = 0;
            if (s.buffer_end == 0) {
                // A zero byte; the window's bits below are zero already.
                if (++s.past_end > kReadAhead) throw DataEnded{};
                d.count += 8;
                continue;
            }
        }
        d.bits |= static_cast<std::uint64_t>(s.buffer[s.buffer_pos++]) << (56 - d.count);
        d.count += 8;
    }
}

// The next 16 bits.
inline unsigned window16(const Bits& d) { return static_cast<unsigned>(d.bits >> 48); }

// Drops n (0 to 24) bits.
inline void skip_bits(Bits& d, int n) {
    d.bits <<= n;
    d.count -= n;
    if (d.count < 32) refill(d);
}

inline unsigned take_bits(Bits& d, int n) {
    if (n == 0) return 0;
    unsigned v = static_cast<unsigned>(d.bits >> (64 - n));
    skip_bits(d, n);
    return v;
}

// Follows the node arrays from `node` with the window's bits from `mask`
// down, until a symbol below `symbols` is reached.
inline unsigned walk_nodes(const Bits& d, unsigned node, unsigned mask, unsigned symbols) {
    const CodecStorage& st = storage();
    const unsigned w = window16(d);
    while (node >= symbols) {
        if (mask == 0) throw BadTable{};  // cannot happen for a complete code
        node = (w & mask) ? st.right[node] : st.left[node];
        mask >>= 1;
    }
    return node;
}

// Pre-code or distance-class lengths: `nn` symbols, count field `width`
// bits, a 2-bit zero run after place `special` (negative: none).
void read_aux_lengths(DecoderState& t, Bits& d, int nn, int width, int special) {
    const int n = static_cast<int>(take_bits(d, width));
    if (n == 0) {
        const unsigned c = take_bits(d, width);
        if (c >= static_cast<unsigned>(nn)) throw BadTable{};
        std::fill(t.aux_lengths.begin(), t.aux_lengths.end(), 0);
        std::fill(t.aux_table.begin(), t.aux_table.end(), static_cast<std::uint16_t>(c));
        return;
    }
    if (n > nn) throw BadTable{};
    int i = 0;
    while (i < n) {
        unsigned c = window16(d) >> 13;
        if (c == 7) {
            for (unsigned mask = 1u << 12; mask != 0 && (window16(d) & mask); mask >>= 1) ++c;
        }
        skip_bits(d, c < 7 ? 3 : static_cast<int>(c) - 3);
        if (c > static_cast<unsigned>(kMaxCodeLength)) throw BadTable{};
        t.aux_lengths[i++] = static_cast<std::uint8_t>(c);
        if (i == special) {
            int zeros = static_cast<int>(take_bits(d, 2));
            if (i + zeros > nn) throw BadTable{};
            while (zeros-- > 0) t.aux_lengths[i++] = 0;
        }
    }
    while (i < kNumPre) t.aux_lengths[i++] = 0;
    if (!build_decode_table(std::span(t.aux_lengths).first(nn), kAuxTableBits, t.aux_table)) throw BadTable{};
}

void read_symbol_lengths(DecoderState& t, Bits& d) {
    const int n = static_cast<int>(take_bits(d, kSymbolCountBits));
    if (n == 0) {
        const unsigned c = take_bits(d, kSymbolCountBits);
        if (c >= static_cast<unsigned>(kNumSymbols)) throw BadTable{};
        std::fill(t.symbol_lengths.begin(), t.symbol_lengths.end(), 0);
        std::fill(t.symbol_table.begin(), t.symbol_table.end(), static_cast<std::uint16_t>(c));
        return;
    }
    if (n > kNumSymbols) throw BadTable{};
    int i = 0;
    while (i < n) {
        unsigned c = t.aux_table[window16(d) >> 8];
        if (c >= static_cast<unsigned>(kNumPre)) c = walk_nodes(d, c, 1u << 7, kNumPre);
        skip_bits(d, t.aux_lengths[c]);
        if (c <= 2) {
            int zeros = c == 0 ? 1 : c == 1 ? static_cast<int>(take_bits(d, 4)) + 3
                                            : static_cast<int>(take_bits(d, kSymbolCountBits)) + 20;
            if (i + zeros > kNumSymbols) throw BadTable{};
            std::memset(&t.symbol_lengths[i], 0, static_cast<std::size_t>(zeros));
            i += zeros;
        } else {
            t.symbol_lengths[i++] = static_cast<std::uint8_t>(c - 2);
        }
    }
    std::fill(t.symbol_lengths.begin() + i, t.symbol_lengths.end(), 0);
    if (!build_decode_table(t.symbol_lengths, kSymbolTableBits, t.symbol_table)) throw BadTable{};
}

inline unsigned decode_symbol(DecoderState& t, Bits& d) {
    if (t.block_left == 0) {
        t.block_left = take_bits(d, 16);
        read_aux_lengths(t, d, kNumPre, kPreCountBits, kPreSpecial);
        read_symbol_lengths(t, d);
        read_aux_lengths(t, d, kNumDist, kDistCountBits, -1);
    }
    --t.block_left;
    unsigned j = t.symbol_table[window16(d) >> (16 - kSymbolTableBits)];
    if (j >= static_cast<unsigned>(kNumSymbols))
        j = walk_nodes(d, j, 1u << (15 - kSymbolTableBits), kNumSymbols);
    skip_bits(d, t.symbol_lengths[j]);
    return j;
}

inline unsigned decode_distance(const DecoderState& t, Bits& d) {
    unsigned j = t.aux_table[window16(d) >> (16 - kAuxTableBits)];
    if (j >= static_cast<unsigned>(kNumDist)) j = walk_nodes(d, j, 1u << (15 - kAuxTableBits), kNumDist);
    skip_bits(d, t.aux_lengths[j]);
    if (j == 0) return 0;
    return (1u << (j - 1)) + take_bits(d, static_cast<int>(j) - 1);
}

}  // namespace

void lh5_expand_start() {
    DecoderState& t = storage().decoder;
    Bits d;
    t.block_left = 0;
    t.copy_left = 0;
    t.copy_from = 0;
    t.ended = false;
    t.bad_table = false;
    refill(d);  // never throws: 8 bytes, zero bytes included, fill the window
    t.bits = d.bits;
    t.bit_count = d.count;
}

std::size_t lh5_expand(std::size_t count, std::uint8_t* buffer) {
    DecoderState& t = storage().decoder;
    if (t.ended) return 0;
    Bits d{t.bits, t.bit_count};
    auto save = [&] {
        t.bits = d.bits;
        t.bit_count = d.count;
    };
    constexpr std::uint32_t kRing = kDictSize - 1;
    std::uint32_t r = 0;
    const std::uint32_t n = static_cast<std::uint32_t>(count);
    std::uint32_t left = t.copy_left;
    std::uint32_t from = t.copy_from;
    try {
        for (;;) {
            // The usual copy: neither the source nor the output reaches an end.
            if (left > 0 && from + left <= kDictSize && r + left < n) {
                for (std::uint32_t i = 0; i < left; ++i) buffer[r + i] = buffer[from + i];
                r += left;
                from = (from + left) & kRing;
                left = 0;
            }
            while (left > 0) {
                buffer[r] = buffer[from];
                from = (from + 1) & kRing;
                --left;
                if (++r == n) {
                    t.copy_left = left;
                    t.copy_from = from;
                    save();
                    return n;
                }
            }
            const unsigned s = decode_symbol(t, d);
            if (s <= 255) {
                buffer[r] = static_cast<std::uint8_t>(s);
                if (++r == n) {
                    t.copy_left = 0;
                    save();
                    return n;
                }
            } else {
                left = s - (256 - kThreshold);
                from = (r - decode_distance(t, d) - 1) & kRing;
            }
        }
    } catch (const DataEnded&) {
        // The bytes before the symbol that could not be read are output;
        // the symbol and everything after it are not.
        t.ended = true;
    } catch (const BadTable&) {
        t.ended = true;
        t.bad_table = true;
    }
    t.copy_left = 0;
    save();
    return r;
}

bool lh5_bad_table() { return storage().decoder.bad_table; }

std::vector<std::uint8_t> lh5_expand_buffer(std::span<const std::uint8_t> stream,
                                            std::size_t original_size) {
    std::vector<std::uint8_t> out;
    out.reserve(original_size);
    std::array<std::uint8_t, kPieceSize> ring{};
    source_from_memory(stream);
    lh5_expand_start();
    for (std::size_t left = original_size; left > 0;) {
        const std::size_t n = std::min(left, kPieceSize);
        const std::size_t got = lh5_expand(n, ring.data());
        out.insert(out.end(), ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(got));
        if (lh5_bad_table()) fatal("Bad table");
        if (got < n) break;  // the stream ran out
        left -= n;
    }
    return out;
}
