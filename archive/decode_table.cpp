// Building the canonical decode tables.
#include "archive/decode_table.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "archive/codec_storage.hpp"

namespace {

// Sets `n` (a power of two) entries from `p` to `value`: one store for up
// to four, four entries a store from eight on (stores of eight bytes, which
// the compiler joins, and which the fuzz build checks inline rather than
// through a call for each).
inline void fill_entries(std::uint16_t* p, std::uint32_t n, std::uint16_t value) {
    switch (n) {
    case 1: *p = value; return;
    case 2: {
        const std::uint32_t two = value * 0x00010001u;
        std::memcpy(p, &two, sizeof two);
        return;
    }
    case 4: {
        const std::uint64_t four = value * 0x0001000100010001u;
        std::memcpy(p, &four, sizeof four);
        return;
    }
    default: {
        const std::uint64_t four = value * 0x0001000100010001u;
        for (std::uint32_t i = 0; i < n; i += 4) std::memcpy(p + i, &four, sizeof four);
    }
    }
}

// Codes longer than table_bits, in the order of `order` from `k` on: their
// first table_bits bits pick an entry of `table`, the rest are walked
// through the node arrays. `start` holds each length's next code. False
// when the nodes run out (the lengths make no complete code).
bool place_long_codes(std::span<const std::uint8_t> lengths, int table_bits, std::span<std::uint16_t> table,
                      std::span<const std::uint16_t> order, std::uint32_t k, std::array<std::uint32_t, 18>& start) {
    const std::uint32_t mask = 1u << (15 - table_bits);
    lh5::CodecStorage& st = lh5::storage();
    std::uint32_t avail = static_cast<std::uint32_t>(lengths.size());
    for (; k < lengths.size(); ++k) {
        const std::uint16_t ch = order[k];
        const int len = lengths[ch];
        std::uint32_t code = start[len];
        start[len] += 1u << (16 - len);
        std::uint16_t* p = &table[code >> (16 - table_bits)];
        for (int i = len - table_bits; i != 0; --i) {
            if (*p == 0) {
                // A complete code never needs more nodes than symbols.
                if (avail >= lh5::kNodeCount) return false;
                st.left[avail] = st.right[avail] = 0;
                *p = static_cast<std::uint16_t>(avail++);
            }
            p = &((code & mask) ? st.right : st.left)[*p];
            code <<= 1;
        }
        *p = ch;
    }
    return true;
}

}  // namespace

bool build_decode_table(std::span<const std::uint8_t> lengths, int table_bits, std::span<std::uint16_t> table,
                        std::span<std::uint16_t> fast) {
    if (lengths.size() > static_cast<std::size_t>(lh5::kNumSymbols)) return false;
    std::array<std::uint32_t, 17> count{};
    for (std::uint8_t len : lengths) {
        if (len > lh5::kMaxCodeLength) return false;
        ++count[len];
    }
    std::array<std::uint32_t, 18> start{};
    for (int i = 1; i <= 16; ++i) start[i + 1] = start[i] + (count[i] << (16 - i));
    if (start[17] == 0) {  // no code at all
        std::fill(table.begin(), table.end(), 0);
        std::fill(fast.begin(), fast.end(), 0);
        return true;
    }
    if (start[17] != (1u << 16)) return false;

    // Codes that fit the table: in order of length, and within a length in
    // symbol order, each takes the next 2^(table_bits - length) entries. The
    // symbols are sorted by length first (unused ones first of all), so that
    // each run has its length's fixed size.
    std::array<std::uint32_t, 18> first{};  // where each length's symbols start in `order`
    for (int i = 0; i <= 16; ++i) first[i + 1] = first[i] + count[i];
    std::array<std::uint16_t, lh5::kNumSymbols> order;
    for (std::uint32_t ch = 0; ch < lengths.size(); ++ch) order[first[lengths[ch]]++] = static_cast<std::uint16_t>(ch);
    const std::uint32_t table_size = 1u << table_bits;
    std::uint32_t at = 0, k = count[0];
    for (int len = 1; len <= table_bits; ++len) {
        const std::uint32_t weight = 1u << (table_bits - len);
        for (std::uint32_t n = 0; n < count[len]; ++n, at += weight) {
            const std::uint16_t ch = order[k++];
            fill_entries(&table[at], weight, ch);
            if (!fast.empty())
                fill_entries(&fast[at], weight, static_cast<std::uint16_t>(ch << kFastSymbolShift | len));
        }
    }
    const std::uint32_t long_from = at;  // = start[table_bits + 1] >> (16 - table_bits)
    for (std::uint32_t i = long_from; i < table_size; ++i) table[i] = 0;

    if (!place_long_codes(lengths, table_bits, table, std::span(order).first(lengths.size()), k, start)) return false;
    if (!fast.empty())
        for (std::uint32_t i = long_from; i < table_size; ++i)
            fast[i] = static_cast<std::uint16_t>(kFastLongCode | table[i]);
    return true;
}
