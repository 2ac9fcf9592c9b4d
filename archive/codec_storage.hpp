// The LH5 codec's fixed storage: stream constants, the decoder's tables, the
// match finder's tree, the block coder's buffers, the node arrays that the
// decoder and the Huffman construction share, the byte source and sink, and
// the counters of the file being coded. One instance for the process, so
// one pack or expansion runs at a time; every pack and expansion resets what
// it uses before it starts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/voice.hpp"

namespace lh5 {

inline constexpr int kDictBits = 13;
inline constexpr int kDictSize = 1 << kDictBits;  // window, distance range
inline constexpr int kMaxMatch = 256;
inline constexpr int kThreshold = 3;     // shortest coded match
inline constexpr int kNumSymbols = 510;  // 256 literals + 254 lengths
inline constexpr int kNumPre = 19;       // pre-code alphabet
inline constexpr int kNumDist = 14;      // distance classes
inline constexpr int kSymbolCountBits = 9;
inline constexpr int kPreCountBits = 5;
inline constexpr int kDistCountBits = 4;
inline constexpr int kSymbolTableBits = 12;
inline constexpr int kAuxTableBits = 8;
inline constexpr int kPreSpecial = 3;  // zero-run field after pre-code length 3
inline constexpr int kMaxCodeLength = 16;
inline constexpr int kNodeCount = 2 * kNumSymbols - 1;  // 1019

// Match finder sizes.
inline constexpr int kTextSize = 2 * kDictSize + kMaxMatch;       // 16640
inline constexpr int kLevelSize = kDictSize + 256;                // 8448
inline constexpr int kParentSize = 2 * kDictSize;                 // 16384
inline constexpr int kHashBits = 15;                              // child list heads
inline constexpr int kNextSize = kParentSize + (1 << kHashBits);  // 49152: links to nodes and heads
static_assert(kNextSize - 1 <= 0xFFFF, "a link to a list head must fit a 16-bit link");
inline constexpr std::uint16_t kPassUp = 0x8000;  // position's pass-up mark

// Token buffer of the block coder.
inline constexpr std::size_t kTokenBufferSize = 16384;
inline constexpr std::size_t kTokenBufferMin = 4096;
inline constexpr std::size_t kPieceSize = 8192;  // input and output pieces
// The output piece of an expansion to a file: large enough for few writes,
// small enough to stay in the cache between being made and being written.
inline constexpr std::size_t kWindowPiece = 128 << 10;

// Where compressed or plain bytes come from: a buffer in memory.
struct ByteSource {
    std::span<const std::uint8_t> memory;
    std::uint64_t limit = 0;  // bytes of `memory` still to take
};

// The bit window of the decoder holds 64 bits, so a sound stream never makes
// it take more than 8 bytes past its last one, nor a step leave fewer than
// 32 bits in it with them; a stream that asks for more has run out (it is
// cut short or damaged).
inline constexpr std::size_t kReadAhead = 8;

// Where compressed bytes go: a vector, through a buffer.
struct ByteSink {
    std::vector<std::uint8_t>* memory = nullptr;
    std::array<std::uint8_t, 8192> buffer{};
    std::size_t fill = 0;
};

// A distance entry of the decoder's fast table: how far back a copy of its
// class reads before the extra bits (1, or 2^(class-1) + 1), the code's
// length, the code's and extra bits' length together, and the shift that
// takes the extra bits from the window after the code (63 - extra, as
// (window >> 1) >> shift gives 0 bits for a shift of 63). `node` is not 0
// for a code longer than the table's width, whose walk starts there.
struct DistanceEntry {
    std::uint16_t base = 0;
    std::uint16_t node = 0;
    std::uint8_t code_bits = 0;
    std::uint8_t all_bits = 0;
    std::uint8_t extra_shift = 0;
};

struct DecoderState {
    std::uint64_t bits = 0;                // the next stream bits, the next one on top
    int bit_count = 0;                     // valid bits in `bits`
    const std::uint8_t* in = nullptr;      // the stream's next byte, read in place
    const std::uint8_t* in_end = nullptr;  // its end
    std::size_t past_end = 0;              // zero bytes taken past the end
    std::uint32_t block_left = 0;          // symbols left in the block (32-bit, wraps)
    std::uint32_t copy_left = 0;           // pending copy: bytes left,
    std::uint32_t copy_dist = 0;           // and how far back it reads (1 to 8192)
    std::size_t last_piece = 0;            // bytes of the piece window's last piece
    bool ended = false;                    // the stream ran out or is damaged: nothing more comes
    bool bad_table = false;                // it ended on inconsistent code lengths
    std::array<std::uint8_t, kNumSymbols> symbol_lengths{};
    std::array<std::uint8_t, kNumPre> aux_lengths{};  // pre-code, then distance
    std::array<std::uint16_t, 1 << kSymbolTableBits> symbol_table{};
    std::array<std::uint16_t, 1 << kAuxTableBits> aux_table{};
    // Built from the tables and lengths above for each block, one entry
    // per lookup: symbol and code length, or distance base, extra bits and
    // code length; or a mark for a code longer than the table's width.
    std::array<std::uint16_t, 1 << kSymbolTableBits> symbol_fast{};
    std::array<std::uint16_t, 1 << kAuxTableBits> pre_fast{};  // the pre-code's
    std::array<DistanceEntry, 1 << kAuxTableBits> distance_fast{};
};

// One node of the match tree: its list links and parent side by side, so a
// walk along a child list or an unlink touches one cache line per node.
// `position` is used by inner nodes and roots only.
struct TreeNode {
    std::int16_t parent = 0;
    std::uint16_t prev = 0;  // link number: a node or a list head
    std::int16_t next = 0;
    std::uint16_t position = 0;  // most recent text position, kPassUp mark
};

// Depth and child count of an inner node or root.
struct NodeDepth {
    std::uint8_t level = 0;
    std::uint8_t child_count = 0;
};

struct MatchTree {
    std::array<std::uint8_t, kTextSize> text{};
    std::array<TreeNode, kParentSize> node{};
    // Child list heads: link number kParentSize + i is head[i] (a node's
    // `prev` is a link number, so it may name a head).
    std::array<std::int16_t, kNextSize - kParentSize> head{};
    std::array<NodeDepth, kLevelSize> depth{};
    int free_node = 0;  // head of the free inner nodes (set per file)
    int pos = 0;        // current text position
    int remaining = 0;  // input bytes not yet coded
    int match_length = 0;
    int match_pos = 0;
    bool verbose = false;
};

struct BlockCoder {
    std::unique_ptr<std::uint8_t[]> tokens;  // allocated once, on first use
    std::size_t token_capacity = 0;          // set on first use
    std::size_t fill = 0;                    // next free byte of `tokens`
    std::size_t flag_pos = 0;                // the current flag byte
    unsigned flag_mask = 0;
    std::array<std::uint16_t, 2 * kNumSymbols - 1> symbol_freq{};
    std::array<std::uint16_t, 2 * kNumDist - 1> dist_freq{};
    std::array<std::uint16_t, 2 * kNumPre - 1> pre_freq{};
    std::array<std::uint8_t, kNumSymbols> symbol_lengths{};
    std::array<std::uint16_t, kNumSymbols> symbol_codes{};
    std::array<std::uint8_t, kNumPre> aux_lengths{};  // pre-code, then distance
    std::array<std::uint16_t, kNumPre> aux_codes{};
    unsigned out_byte = 0;  // bit holder
    int out_free = 0;       // free bits in the holder (set per file)
};

struct Counters {
    std::uint32_t original_size = 0;  // input bytes read so far
    std::uint32_t packed_size = 0;    // compressed bytes written so far
    std::uint16_t crc = 0;            // CRC-16 of the input read so far
    bool give_up = false;             // compression does not pay: store
};

// Every member starts as zero, so the one instance lives in zero-filled
// memory (.bss) and costs nothing to load.
struct CodecStorage {
    // Node arrays of the decode tables and of the Huffman construction.
    std::array<std::uint16_t, kNodeCount> left{};
    std::array<std::uint16_t, kNodeCount> right{};
    DecoderState decoder;
    MatchTree tree;
    BlockCoder coder;
    Counters counters;
    ByteSource source;
    ByteSink sink;
    Voice voice;  // where a pack's progress and its "17" go; set per pack
    // The window of an expansion in pieces (lh5_expand, a member expanded
    // to a file): the last 8192 bytes of output, then the piece.
    std::array<std::uint8_t, kDictSize + kWindowPiece> piece_window{};
};

// The one instance (constant-initialised, so usable at any time).
extern CodecStorage g_storage;
inline CodecStorage& storage() {
    return g_storage;
}

// Points the source at `memory`; empties its buffer.
void source_from_memory(std::span<const std::uint8_t> memory);

// Reads up to `out.size()` bytes from the source; returns how many (fewer
// only at its end or limit).
std::size_t source_read(std::span<std::uint8_t> out);

// Points the sink at `memory`; empties its buffer.
void sink_to_memory(std::vector<std::uint8_t>& memory);

// Appends the sink's buffer to its vector.
void sink_flush();

// Appends one byte to the sink.
inline void sink_put(std::uint8_t b) {
    ByteSink& s = storage().sink;
    s.buffer[s.fill++] = b;
    if (s.fill == s.buffer.size()) sink_flush();
}

}  // namespace lh5
