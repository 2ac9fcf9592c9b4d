// Building the canonical decode tables.
#include "archive/decode_table.hpp"

#include <algorithm>
#include <array>

#include "archive/codec_storage.hpp"

bool build_decode_table(std::span<const std::uint8_t> lengths, int table_bits,
                        std::span<std::uint16_t> table) {
    std::array<std::uint32_t, 17> count{};
    for (std::uint8_t len : lengths) {
        if (len > lh5::kMaxCodeLength) return false;
        ++count[len];
    }
    std::array<std::uint32_t, 18> start{};
    for (int i = 1; i <= 16; ++i) start[i + 1] = start[i] + (count[i] << (16 - i));
    if (start[17] == 0) {  // no code at all
        std::fill(table.begin(), table.end(), 0);
        return true;
    }
    if (start[17] != (1u << 16)) return false;

    const int jut = 16 - table_bits;
    std::array<std::uint32_t, 17> weight{};
    for (int i = 1; i <= table_bits; ++i) {
        start[i] >>= jut;
        weight[i] = 1u << (table_bits - i);
    }
    for (int i = table_bits + 1; i <= 16; ++i) weight[i] = 1u << (16 - i);

    const std::uint32_t table_size = 1u << table_bits;
    for (std::uint32_t i = start[table_bits + 1] >> jut; i < table_size; ++i) table[i] = 0;

    lh5::CodecStorage& st = lh5::storage();
    std::uint32_t avail = static_cast<std::uint32_t>(lengths.size());
    const std::uint32_t mask = 1u << (15 - table_bits);
    for (std::uint32_t ch = 0; ch < lengths.size(); ++ch) {
        const int len = lengths[ch];
        if (len == 0) continue;
        const std::uint32_t next_code = start[len] + weight[len];
        if (len <= table_bits) {
            for (std::uint32_t i = start[len]; i < next_code; ++i) table[i] = static_cast<std::uint16_t>(ch);
        } else {
            std::uint32_t k = start[len];
            std::uint16_t* p = &table[k >> jut];
            for (int i = len - table_bits; i != 0; --i) {
                if (*p == 0) {
                    // A complete code never needs more nodes than symbols.
                    if (avail >= lh5::kNodeCount) return false;
                    st.left[avail] = st.right[avail] = 0;
                    *p = static_cast<std::uint16_t>(avail++);
                }
                p = (k & mask) ? &st.right[*p] : &st.left[*p];
                k <<= 1;
            }
            *p = static_cast<std::uint16_t>(ch);
        }
        start[len] = next_code;
    }
    return true;
}
