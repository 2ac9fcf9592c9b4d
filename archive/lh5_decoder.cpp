// LH5 decoding: bit input, block headers (code-length tables), symbol and
// distance decoding, and match copies into a flat output window.
//
// Two loops share the stream state. The plain loop takes one step at a
// time, checking every bound; it reads block headers, codes longer than the
// lookup tables, the last bytes of the input and the last match's worth of
// output. The fast loop runs in between, for as many symbols as surely
// leave 8 input bytes for each fill and kFastRoom output bytes for each
// copy: there no fill can pass the input's end and no copy the output's, so
// it needs no per-byte checks. Whether a cut stream has run out depends only
// on how far it has been read (see refill), not on when the window was last
// filled, so a damaged or cut stream stops at the same symbol whichever loop
// reads it.
#include "archive/lh5_decoder.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "archive/codec_storage.hpp"
#include "archive/crc16.hpp"
#include "archive/decode_table.hpp"
#include "common/fatal.hpp"

namespace {

using namespace lh5;

// ---- Bit input: a 64-bit window; the stream's next bit is bit 63. ----
// Kept in locals while decoding (stored in DecoderState between calls), so
// that writes to the output do not force it back to memory.
struct Bits {
    std::uint64_t bits = 0;            // the next stream bits, the next one on top
    int count = 0;                     // valid bits in `bits`
    const std::uint8_t* in = nullptr;  // the next byte of the stream
};

// Thrown by the bit input when the stream has run out, and by the table
// readers on inconsistent code lengths; expand_window catches both and ends
// the stream.
struct DataEnded {};
struct BadTable {};

// The fast loop's margins: it fills the window from 8 bytes at a time, and
// a symbol writes at most a longest match plus the overrun of a word copy.
constexpr std::size_t kFastInput = 8;
constexpr std::size_t kFastRoom = kMaxMatch + 32;

inline std::uint64_t load_be64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

// Tops the window up to 56 to 63 valid bits from the 8 bytes at `in`,
// which the caller guarantees are there.
inline void refill_word(std::uint64_t& bits, int& count, const std::uint8_t*& in) {
    const int take = (63 - count) >> 3;
    bits |= (load_be64(in) & (~std::uint64_t{0} << (64 - 8 * take))) >> count;
    count += 8 * take;
    in += take;
}

// The same anywhere in the stream: past its end it continues with zero
// bytes, at most kReadAhead of them. The window must hold 32 bits after
// every step (a code and its extra bits take 28 at most); when even the
// zero bytes cannot give them, the stream has run out. Whether it has
// depends only on how far the steps have read, not on when the window was
// last filled.
inline void refill(Bits& d) {
    DecoderState& t = storage().decoder;
    if (t.in_end - d.in >= 8) return refill_word(d.bits, d.count, d.in);
    while (d.count <= 55) {
        if (d.in != t.in_end) {
            d.bits |= static_cast<std::uint64_t>(*d.in++) << (56 - d.count);
        } else if (t.past_end < kReadAhead) {
            ++t.past_end;  // a zero byte; the window's bits below are zero already
        } else {
            break;
        }
        d.count += 8;
    }
    if (d.count < 32) throw DataEnded{};
}

// The next 16 bits.
inline unsigned window16(std::uint64_t bits) {
    return static_cast<unsigned>(bits >> 48);
}

// Drops n (0 to 16) bits.
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
inline unsigned walk_nodes(std::uint64_t bits, unsigned node, unsigned mask, unsigned symbols) {
    const CodecStorage& st = storage();
    const unsigned w = window16(bits);
    while (node >= symbols) {
        if (mask == 0) throw BadTable{};  // cannot happen for a complete code
        node = (w & mask) ? st.right[node] : st.left[node];
        mask >>= 1;
    }
    return node;
}

// The distance entry of class j with a code of `length` bits.
inline DistanceEntry distance_entry(unsigned j, unsigned length) {
    const unsigned extra = j > 1 ? j - 1 : 0;
    DistanceEntry e;
    e.base = static_cast<std::uint16_t>(j == 0 ? 1 : (1u << (j - 1)) + 1);
    e.code_bits = static_cast<std::uint8_t>(length);
    e.all_bits = static_cast<std::uint8_t>(length + extra);
    e.extra_shift = static_cast<std::uint8_t>(63 - extra);
    return e;
}

void build_distance_fast(DecoderState& t) {
    for (std::size_t i = 0; i < t.distance_fast.size(); ++i) {
        const unsigned j = t.aux_table[i];
        if (j < kNumDist) {
            t.distance_fast[i] = distance_entry(j, t.aux_lengths[j]);
        } else {
            t.distance_fast[i] = DistanceEntry{};
            t.distance_fast[i].node = static_cast<std::uint16_t>(j);
        }
    }
}

// Pre-code or distance-class lengths: `nn` symbols, count field `width`
// bits, a 2-bit zero run after place `special` (negative: none); with
// `fast`, its fast table too.
void read_aux_lengths(DecoderState& t, Bits& d, int nn, int width, int special, std::span<std::uint16_t> fast = {}) {
    const int n = static_cast<int>(take_bits(d, width));
    if (n == 0) {
        const unsigned c = take_bits(d, width);
        if (c >= static_cast<unsigned>(nn)) throw BadTable{};
        std::fill(t.aux_lengths.begin(), t.aux_lengths.end(), 0);
        std::fill(t.aux_table.begin(), t.aux_table.end(), static_cast<std::uint16_t>(c));
        std::fill(fast.begin(), fast.end(), static_cast<std::uint16_t>(c << kFastSymbolShift));
        return;
    }
    if (n > nn) throw BadTable{};
    int i = 0;
    while (i < n) {
        unsigned c = window16(d.bits) >> 13;
        if (c == 7) {
            for (unsigned mask = 1u << 12; mask != 0 && (window16(d.bits) & mask); mask >>= 1) ++c;
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
    if (!build_decode_table(std::span(t.aux_lengths).first(nn), kAuxTableBits, t.aux_table, fast)) throw BadTable{};
}

void read_symbol_lengths(DecoderState& t, Bits& d) {
    const int n = static_cast<int>(take_bits(d, kSymbolCountBits));
    if (n == 0) {
        const unsigned c = take_bits(d, kSymbolCountBits);
        if (c >= static_cast<unsigned>(kNumSymbols)) throw BadTable{};
        std::fill(t.symbol_lengths.begin(), t.symbol_lengths.end(), 0);
        std::fill(t.symbol_table.begin(), t.symbol_table.end(), static_cast<std::uint16_t>(c));
        std::fill(t.symbol_fast.begin(), t.symbol_fast.end(), static_cast<std::uint16_t>(c << kFastSymbolShift));
        return;
    }
    if (n > kNumSymbols) throw BadTable{};
    int i = 0;
    Bits b = d;  // in registers for the loop
    while (i < n) {
        unsigned c = t.pre_fast[window16(b.bits) >> 8];
        int length;
        if (c & kFastLongCode) {
            c = walk_nodes(b.bits, c & ~kFastLongCode, 1u << 7, kNumPre);
            length = t.aux_lengths[c];
        } else {
            length = static_cast<int>(c & kFastLengthMask);
            c >>= kFastSymbolShift;
        }
        skip_bits(b, length);
        if (c <= 2) {
            int zeros = c == 0   ? 1
                        : c == 1 ? static_cast<int>(take_bits(b, 4)) + 3
                                 : static_cast<int>(take_bits(b, kSymbolCountBits)) + 20;
            if (i + zeros > kNumSymbols) throw BadTable{};
            std::memset(&t.symbol_lengths[i], 0, static_cast<std::size_t>(zeros));
            i += zeros;
        } else {
            t.symbol_lengths[i++] = static_cast<std::uint8_t>(c - 2);
        }
    }
    d = b;
    std::fill(t.symbol_lengths.begin() + i, t.symbol_lengths.end(), 0);
    if (!build_decode_table(t.symbol_lengths, kSymbolTableBits, t.symbol_table, t.symbol_fast)) throw BadTable{};
}

inline unsigned decode_symbol(DecoderState& t, Bits& d) {
    if (t.block_left == 0) {
        t.block_left = take_bits(d, 16);
        read_aux_lengths(t, d, kNumPre, kPreCountBits, kPreSpecial, t.pre_fast);
        read_symbol_lengths(t, d);
        read_aux_lengths(t, d, kNumDist, kDistCountBits, -1);
        build_distance_fast(t);
    }
    --t.block_left;
    unsigned j = t.symbol_table[window16(d.bits) >> (16 - kSymbolTableBits)];
    if (j >= static_cast<unsigned>(kNumSymbols)) j = walk_nodes(d.bits, j, 1u << (15 - kSymbolTableBits), kNumSymbols);
    skip_bits(d, t.symbol_lengths[j]);
    return j;
}

// The distance field: how far before the byte just before the copy it starts.
inline unsigned decode_distance(const DecoderState& t, Bits& d) {
    unsigned j = t.aux_table[window16(d.bits) >> (16 - kAuxTableBits)];
    if (j >= static_cast<unsigned>(kNumDist)) j = walk_nodes(d.bits, j, 1u << (15 - kAuxTableBits), kNumDist);
    skip_bits(d, t.aux_lengths[j]);
    if (j == 0) return 0;
    return (1u << (j - 1)) + take_bits(d, static_cast<int>(j) - 1);
}

// Copies `length` bytes from `dist` bytes back, byte by byte as the format
// defines (a copy may overlap its own output), in words where the distance
// allows. `pos` + kFastRoom is within the window: a word copy may write up
// to 31 bytes past the copy (the first 32 go at once), which later output
// overwrites.
inline void copy_match(std::uint8_t* out, std::size_t pos, std::size_t dist, std::size_t length) {
    std::uint8_t* dst = out + pos;
    if (dist > pos) {  // reaches before the first output byte, which reads as zero
        for (std::size_t i = 0; i < length; ++i) dst[i] = pos + i >= dist ? out[pos + i - dist] : 0;
        return;
    }
    const std::uint8_t* src = dst - dist;
    if (dist >= 16) {
        std::memcpy(dst, src, 16);
        std::memcpy(dst + 16, src + 16, 16);
        for (std::size_t i = 32; i < length; i += 16) std::memcpy(dst + i, src + i, 16);
    } else if (dist >= 8) {
        for (std::size_t i = 0; i < length; i += 8) std::memcpy(dst + i, src + i, 8);
    } else if (dist == 1) {
        std::memset(dst, *src, length);
    } else {
        for (std::size_t i = 0; i < length; ++i) dst[i] = src[i];
    }
}

// Built twice where the compiler can pick at run time: for processors with
// BMI2 (shifts by a register in one step, which the loop does five times a
// match) and for any x86-64.
// The fast loop: as many symbols as surely stay in the block and within
// both margins, on the caller's copies of the bit window, so that the loop
// checks one count.
[[gnu::always_inline]] inline void fast_symbols(DecoderState& t, std::uint8_t* out, std::size_t& pos, std::size_t end,
                                                std::uint64_t& bits, unsigned& count, const std::uint8_t*& in,
                                                std::uint32_t& block_left, const std::uint8_t* in_end) {
    for (;;) {
        // As many symbols as surely stay in the block and within the
        // margins, so that the loop checks one count: a symbol writes
        // 256 bytes at most, and moves `in` on by 5.5 bytes at most
        // (44 bits) after the first fill's 6.4 (51 bits).
        std::size_t k =
            std::min<std::size_t>(block_left, end - pos < kFastRoom ? 0 : (end - pos - kFastRoom) / kMaxMatch + 1);
        const std::size_t in_left = static_cast<std::size_t>(in_end - in);
        k = std::min<std::size_t>(k, in_left < kFastInput + 8 ? 0 : (in_left - kFastInput - 8) / 6);
        if (k == 0) break;
        block_left -= static_cast<std::uint32_t>(k);
        for (; k != 0; --k) {
            // Refilled once per symbol, without a branch: 56 to 63 bits
            // cover the longest symbol code, distance code and extra
            // bits (44). The bits below `count` are the next stream
            // bits too, so a later fill writes the same bits over them.
            // The symbol's entry is looked up first: its 12 bits are
            // in the window already (12 or more are left after any
            // symbol), so the lookup need not wait for the fill.
            unsigned s = t.symbol_fast[bits >> (64 - kSymbolTableBits)];
            bits |= load_be64(in) >> count;
            in += 7 - (count >> 3);
            count |= 56;
            unsigned n;
            if (s & kFastLongCode) {
                s = walk_nodes(bits, s & ~kFastLongCode, 1u << (15 - kSymbolTableBits), kNumSymbols);
                n = t.symbol_lengths[s];
            } else {
                n = s & kFastLengthMask;
                s >>= kFastSymbolShift;
            }
            bits <<= n;
            count -= n;
            if (s < 256) {
                out[pos++] = static_cast<std::uint8_t>(s);
                continue;
            }
            DistanceEntry de = t.distance_fast[bits >> (64 - kAuxTableBits)];
            if (de.node != 0) {
                const unsigned j = walk_nodes(bits, de.node, 1u << (15 - kAuxTableBits), kNumDist);
                de = distance_entry(j, t.aux_lengths[j]);
            }
            // The code and its extra bits in one step.
            const std::size_t back = de.base + (((bits << de.code_bits) >> 1) >> de.extra_shift);
            bits <<= de.all_bits;
            count -= de.all_bits;
            const std::size_t length = s - (256 - kThreshold);
            copy_match(out, pos, back, length);
            pos += length;
        }
    }
}

#if defined(__x86_64__) && defined(__ELF__) && !defined(MOZAIK_NO_CLONES)
#define MOZAIK_HOT_CLONES [[gnu::target_clones("arch=x86-64-v3", "default")]]
#else
#define MOZAIK_HOT_CLONES
#endif

// Expands into window[pos, end); returns the position reached (end, or less
// when the stream ended).
MOZAIK_HOT_CLONES std::size_t expand_window(std::uint8_t* out, std::size_t pos, std::size_t end) {
    DecoderState& t = storage().decoder;
    if (t.ended) return pos;
    Bits d{t.bits, t.bit_count, t.in};
    std::size_t left = t.copy_left;
    std::size_t dist = t.copy_dist;
    const std::uint8_t* const in_end = t.in_end;
    try {
        for (;;) {
            // A pending copy, a byte at a time.
            for (; left > 0 && pos < end; --left, ++pos) out[pos] = pos >= dist ? out[pos - dist] : 0;
            if (pos == end) break;

            // The fast loop, on local copies of the bit window.
            std::uint64_t bits = d.bits;
            unsigned count = static_cast<unsigned>(d.count);
            const std::uint8_t* in = d.in;
            std::uint32_t block_left = t.block_left;
            fast_symbols(t, out, pos, end, bits, count, in, block_left, in_end);
            if (count < 32) {  // the plain steps expect 32 bits or more
                Bits b{bits, static_cast<int>(count), in};
                refill(b);
                bits = b.bits, count = static_cast<unsigned>(b.count), in = b.in;
            }
            d = Bits{bits, static_cast<int>(count), in};
            t.block_left = block_left;
            if (pos == end) break;

            // One plain step.
            const unsigned s = decode_symbol(t, d);
            if (s <= 255) {
                out[pos++] = static_cast<std::uint8_t>(s);
            } else {
                const std::size_t length = s - (256 - kThreshold);
                dist = decode_distance(t, d) + 1;
                left = length;
            }
        }
    } catch (const DataEnded&) {
        // The bytes before the symbol that could not be read are output;
        // the symbol and everything after it are not.
        t.ended = true;
        left = 0;
    } catch (const BadTable&) {
        t.ended = true;
        t.bad_table = true;
        left = 0;
    }
    t.bits = d.bits;
    t.bit_count = d.count;
    t.in = d.in;
    t.copy_left = static_cast<std::uint32_t>(left);
    t.copy_dist = static_cast<std::uint32_t>(dist);
    return pos;
}

}  // namespace

void lh5_expand_start() {
    DecoderState& t = storage().decoder;
    const ByteSource& s = storage().source;
    t.in = s.memory.data() + (s.memory.size() - static_cast<std::size_t>(s.limit));
    t.in_end = t.in + static_cast<std::size_t>(s.limit);
    t.past_end = 0;
    t.block_left = 0;
    t.copy_left = 0;
    t.copy_dist = 0;
    t.ended = false;
    t.bad_table = false;
    Bits d{0, 0, t.in};
    refill(d);  // never throws: 8 bytes, zero bytes included, fill the window
    t.bits = d.bits;
    t.bit_count = d.count;
    t.in = d.in;
    t.last_piece = 0;
    std::fill(storage().piece_window.begin(), storage().piece_window.begin() + kDictSize, 0);
}

std::size_t lh5_expand_into(std::span<std::uint8_t> window, std::size_t pos) {
    return expand_window(window.data(), pos, window.size()) - pos;
}

std::span<const std::uint8_t> lh5_expand_piece(std::size_t count) {
    // The last 8192 bytes of output, then this piece.
    std::uint8_t* w = storage().piece_window.data();
    std::size_t& last = storage().decoder.last_piece;
    std::memmove(w, w + last, kDictSize);
    last = expand_window(w, kDictSize, kDictSize + std::min(count, kWindowPiece)) - kDictSize;
    return {w + kDictSize, last};
}

std::size_t lh5_expand(std::size_t count, std::uint8_t* buffer) {
    const std::span<const std::uint8_t> piece = lh5_expand_piece(count);
    std::memcpy(buffer, piece.data(), piece.size());
    return piece.size();
}

bool lh5_bad_table() {
    return storage().decoder.bad_table;
}

std::size_t lh5_expand_vector(std::vector<std::uint8_t>& out, std::size_t size, std::uint16_t* crc) {
    // Sized in steps within one reserved block (doubling past it), so each
    // step is cleared and then written while it is in the cache.
    constexpr std::size_t kStep = 256 << 10;
    out.clear();
    out.reserve(std::min<std::size_t>(size, kReserveAtOnce));
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t step = std::min(size - pos, kStep);
        out.resize(pos + step);
        const std::size_t got = expand_window(out.data(), pos, pos + step) - pos;
        if (crc) *crc = crc16::update(*crc, std::span(out).subspan(pos, got));
        pos += got;
        if (got < step) break;
    }
    out.resize(pos);
    return pos;
}

std::vector<std::uint8_t> lh5_expand_buffer(std::span<const std::uint8_t> stream, std::size_t original_size) {
    source_from_memory(stream);
    lh5_expand_start();
    std::vector<std::uint8_t> out;
    lh5_expand_vector(out, original_size);
    if (lh5_bad_table()) fatal("Bad table");
    return out;
}
