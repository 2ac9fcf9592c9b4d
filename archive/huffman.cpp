// Huffman code construction: a binary min-heap of symbols and nodes, a depth
// count limited to 16, and canonical codes in symbol order.
#include "archive/huffman.hpp"

#include <array>

#include "archive/codec_storage.hpp"

namespace {

struct Heap {
    std::array<int, lh5::kNumSymbols + 1> entry{};  // numbered from 1
    int size = 0;
    const std::uint16_t* freq = nullptr;
};

// Sifts entry i down. The right child is taken only when the left one's
// count is strictly greater; stops when the entry's count is not greater
// than the smaller child's.
void sift_down(Heap& h, int i) {
    const int k = h.entry[i];
    int j;
    while ((j = 2 * i) <= h.size) {
        if (j < h.size && h.freq[h.entry[j]] > h.freq[h.entry[j + 1]]) ++j;
        if (h.freq[k] <= h.freq[h.entry[j]]) break;
        h.entry[i] = h.entry[j];
        i = j;
    }
    h.entry[i] = k;
}

// Counts the leaves under `root` by depth, left before right; depths of 16
// and more count as 16.
void count_depths(int root, int n, std::array<int, 17>& count) {
    const lh5::CodecStorage& st = lh5::storage();
    struct Item {
        int node, depth;
    };
    std::array<Item, lh5::kNodeCount + 1> stack;
    int top = 0;
    stack[top++] = {root, 0};
    while (top > 0) {
        const Item it = stack[--top];
        if (it.node < n) {
            ++count[it.depth < 16 ? it.depth : 16];
        } else {
            stack[top++] = {st.right[it.node], it.depth + 1};
            stack[top++] = {st.left[it.node], it.depth + 1};
        }
    }
}

// Limits the code to 16 bits: while it is over-full, takes one 16-bit code
// away and moves one code from the deepest shorter length down a level
// (saying "17" on the console channel each time).
void limit_lengths(std::array<int, 17>& count) {
    unsigned sum = 0;
    for (int d = 16; d > 0; --d) sum += static_cast<unsigned>(count[d]) << (16 - d);
    while (sum != (1u << 16)) {
        say(lh5::storage().voice.err, "17");
        --count[16];
        for (int d = 15; d > 0; --d) {
            if (count[d] != 0) {
                --count[d];
                count[d + 1] += 2;
                break;
            }
        }
        --sum;
    }
}

// The lengths by count (the rarest symbols the longest codes), and the
// canonical codes for them.
void assign_codes(int n, const std::array<int, 17>& count, const std::array<int, lh5::kNumSymbols>& order,
                  std::uint8_t* lengths, std::uint16_t* codes) {
    int at = 0;
    for (int d = 16; d > 0; --d)
        for (int c = count[d]; c > 0; --c) lengths[order[at++]] = static_cast<std::uint8_t>(d);
    std::array<std::uint16_t, 18> start{};
    for (int d = 1; d <= 16; ++d) start[d + 1] = static_cast<std::uint16_t>((start[d] + count[d]) << 1);
    for (int i = 0; i < n; ++i) codes[i] = start[lengths[i]]++;
}

}  // namespace

int build_huffman_code(int n, std::uint16_t* freq, std::uint8_t* lengths, std::uint16_t* codes) {
    lh5::CodecStorage& st = lh5::storage();
    Heap heap;
    heap.freq = freq;
    heap.entry[1] = 0;
    for (int i = 0; i < n; ++i) {
        lengths[i] = 0;
        if (freq[i]) heap.entry[++heap.size] = i;
    }
    if (heap.size < 2) {
        codes[heap.entry[1]] = 0;
        return heap.entry[1];
    }
    for (int i = heap.size / 2; i >= 1; --i) sift_down(heap, i);

    // Symbols in the order they leave the heap: the rarest first.
    std::array<int, lh5::kNumSymbols> order;
    int ordered = 0;
    int next_node = n;
    int k;
    do {
        const int i = heap.entry[1];
        if (i < n) order[ordered++] = i;
        heap.entry[1] = heap.entry[heap.size--];
        sift_down(heap, 1);
        const int j = heap.entry[1];
        if (j < n) order[ordered++] = j;
        k = next_node++;
        freq[k] = static_cast<std::uint16_t>(freq[i] + freq[j]);
        heap.entry[1] = k;
        sift_down(heap, 1);
        st.left[k] = static_cast<std::uint16_t>(i);
        st.right[k] = static_cast<std::uint16_t>(j);
    } while (heap.size > 1);

    std::array<int, 17> count{};
    count_depths(k, n, count);
    limit_lengths(count);
    assign_codes(n, count, order, lengths, codes);
    return k;
}
