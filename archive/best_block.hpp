// Blocks of the near-optimal LH5 packer: its tokens, their counts, the
// Huffman codes a block gets from them, the block's exact size in bits, and
// the block written in the stream format every LH5 reader decodes (a 16-bit
// token count, the pre-code, symbol and distance-class lengths, the coded
// tokens).
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <vector>

namespace best {

inline constexpr int kSymbols = 510;  // 256 literals, then lengths 3-256
inline constexpr int kClasses = 14;   // distance classes: bit width of distance - 1
inline constexpr int kPreSymbols = 19;
inline constexpr int kMinMatch = 3;
inline constexpr int kMaxMatch = 256;
inline constexpr int kMaxDistance = 8191;               // back reference, within the 8 KiB window
inline constexpr std::size_t kMaxBlockTokens = 0xFFFF;  // the block's 16-bit count

// A literal (length 1, value the byte) or a match (length 3-256, value
// the distance back, 1-8191).
struct Token {
    std::uint16_t length = 1;
    std::uint16_t value = 0;
};

inline int symbol_of(Token t) {
    return t.length == 1 ? t.value : 253 + t.length;
}
inline int class_of(unsigned distance) {
    return std::bit_width(distance - 1u);
}

struct Stats {
    std::array<std::uint32_t, kSymbols> symbol{};
    std::array<std::uint32_t, kClasses> distance{};
    void add(Token t);
    void add(const Stats& s);
    void subtract(const Stats& s);
};

Stats count_tokens(std::span<const Token> tokens);

// The codes of one block. A table with fewer than two symbols in use is
// written as the one symbol (`single_*` is it, else -1) whose code takes no bits.
struct BlockCode {
    std::array<std::uint8_t, kSymbols> symbol_length{};
    std::array<std::uint16_t, kSymbols> symbol_code{};
    std::array<std::uint8_t, kClasses> class_length{};
    std::array<std::uint16_t, kClasses> class_code{};
    std::array<std::uint8_t, kPreSymbols> pre_length{};
    std::array<std::uint16_t, kPreSymbols> pre_code{};
    int single_symbol = -1, single_class = -1, single_pre = -1;
    // Bits taken to cost by a single zero length, a short and a long zero
    // run: the symbol lengths' zero runs are split in the cheapest pieces.
    std::array<std::uint8_t, 3> run_cost{4, 4, 4};
};

BlockCode make_block_code(const Stats& s);

// The block's size in bits: its tables and tokens under `code`.
std::uint64_t block_bits(const Stats& s, const BlockCode& code);
std::uint64_t block_bits(const Stats& s);

// The bit output: most significant bit first.
struct BitWriter {
    std::vector<std::uint8_t>* out = nullptr;
    std::uint32_t holder = 0;
    int held = 0;
    void put(int n, unsigned value);
    void pad();  // the last partial byte, zero bits behind
};

// Writes one block (1 to kMaxBlockTokens tokens) under codes of its own.
void write_block(BitWriter& w, std::span<const Token> tokens);

}  // namespace best
