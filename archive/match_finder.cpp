// The tree match finder.
#include "archive/match_finder.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "archive/codec_storage.hpp"
#include "archive/lh5_encoder.hpp"

namespace lh5 {
namespace {

// The list head of (q, c): a multiplicative hash of both, so that the
// children of neighbouring nodes and bytes spread over all heads.
inline int child_hash(int q, int c) {
    const std::uint32_t key = (static_cast<std::uint32_t>(q) << 8) | static_cast<std::uint32_t>(c);
    return kParentSize + static_cast<int>((key * 0x9E3779B1u) >> (32 - kHashBits));
}

inline std::int16_t n16(int v) {
    return static_cast<std::int16_t>(v);
}
inline std::uint16_t u16(int v) {
    return static_cast<std::uint16_t>(v);
}

// The `next` field of link number `link`: a node's or a list head.
inline std::int16_t& next_of(MatchTree& t, int link) {
    return link >= kParentSize ? t.head[static_cast<std::size_t>(link - kParentSize)]
                               : t.node[static_cast<std::size_t>(link)].next;
}

inline int child_of(MatchTree& t, int q, int c) {
    TreeNode* nd = t.node.data();
    int r = t.head[static_cast<std::size_t>(child_hash(q, c) - kParentSize)];
    nd[0].parent = n16(q);  // stop mark
    while (nd[r].parent != q) r = nd[r].next;
    return r;
}

inline void link_child(MatchTree& t, int q, int c, int r) {
    TreeNode* nd = t.node.data();
    const int h = child_hash(q, c);
    std::int16_t& head = t.head[static_cast<std::size_t>(h - kParentSize)];
    const int old_head = head;
    head = n16(r);
    nd[r].next = n16(old_head);
    nd[old_head].prev = u16(r);
    nd[r].prev = u16(h);
    nd[r].parent = n16(q);
    ++t.depth[q].child_count;
}

// Node `n` takes the place of `old` in its list of siblings.
inline void take_sibling_place(MatchTree& t, int n, int old) {
    TreeNode* nd = t.node.data();
    const int prev = nd[old].prev;
    nd[n].prev = u16(prev);
    next_of(t, prev) = n16(n);
    const int next = nd[old].next;
    nd[n].next = n16(next);
    nd[next].prev = u16(n);
}

// split_node with the match state passed in: `length` and `match_pos` of
// the current match at text position `pos`.
void split_at(MatchTree& t, int old, int pos, int length, int match_pos) {
    TreeNode* nd = t.node.data();
    const int n = t.free_node;
    t.free_node = nd[n].next;
    t.depth[n].child_count = 0;
    take_sibling_place(t, n, old);
    nd[n].parent = nd[old].parent;
    t.depth[n].level = static_cast<std::uint8_t>(length);
    nd[n].position = u16(pos);
    link_child(t, n, t.text[match_pos + length], old);
    link_child(t, n, t.text[pos + length], pos);
}

// Length of the common prefix of the texts at a and b, from `from` up to
// `limit` (all bytes up to `limit` lie inside the text).
inline int common_length(const std::uint8_t* a, const std::uint8_t* b, int from, int limit) {
    int n = from;
    while (n + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (const std::uint64_t d = x ^ y) {
            if constexpr (std::endian::native == std::endian::little)
                return n + std::countr_zero(d) / 8;
            else
                return n + std::countl_zero(d) / 8;
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// Where the walk for position `pos` starts when the previous match was at
// least 4 long: at the node of that match, one byte shorter. The nodes it
// passes up take `pos` as their most recent position.
struct WalkStart {
    int q, r, length;
};

inline WalkStart resume_previous_match(MatchTree& t, int pos) {
    TreeNode* nd = t.node.data();
    const NodeDepth* dp = t.depth.data();
    const int length = t.match_length - 1;
    int r = (t.match_pos + 1) | kDictSize;
    int q;
    while ((q = nd[r].parent) == 0) r = nd[r].next;
    while (dp[q].level >= length) {
        r = q;
        q = nd[q].parent;
    }
    int u = q;
    while (nd[u].position & kPassUp) {
        nd[u].position = u16(pos);
        u = nd[u].parent;
    }
    if (u < kDictSize) nd[u].position = u16(pos | kPassUp);
    return {q, r, length};
}

// A full match: the new leaf `pos` replaces the old one `r` under `q`,
// which keeps a link to its replacement.
inline void replace_leaf(MatchTree& t, int pos, int q, int r) {
    TreeNode* nd = t.node.data();
    take_sibling_place(t, pos, r);
    nd[pos].parent = n16(q);
    nd[r].parent = 0;
    nd[r].next = n16(pos);
}

}  // namespace

void match_finder_start() {
    MatchTree& t = storage().tree;
    t.text.fill(0);
    t.node.fill(TreeNode{});
    t.head.fill(0);
    t.depth.fill(NodeDepth{});
    for (int i = kDictSize; i < kLevelSize; ++i) t.depth[i].level = 1;
    for (int i = 1; i < kDictSize - 1; ++i) t.node[i].next = n16(i + 1);
    t.node[kDictSize - 1].next = 0;
    t.free_node = 1;
}

int find_child(int q, int c) {
    return child_of(storage().tree, q, c);
}

void add_child(int q, int c, int r) {
    link_child(storage().tree, q, c, r);
}

void split_node(int old) {
    MatchTree& t = storage().tree;
    split_at(t, old, t.pos, t.match_length, t.match_pos);
}

void insert_position() {
    MatchTree& t = storage().tree;
    TreeNode* nd = t.node.data();
    const NodeDepth* dp = t.depth.data();
    const std::uint8_t* text = t.text.data();
    const int pos = t.pos;
    int length = t.match_length;
    int match_pos = t.match_pos;
    int q, r;
    if (length >= 4) {
        const WalkStart start = resume_previous_match(t, pos);
        q = start.q;
        r = start.r;
        length = start.length;
    } else {
        q = text[pos] + kDictSize;
        const int c = text[pos + 1];
        if ((r = child_of(t, q, c)) == 0) {
            link_child(t, q, c, pos);
            t.match_length = 1;
            return;
        }
        length = 2;
    }
    for (;;) {
        int depth;
        if (r >= kDictSize) {
            depth = kMaxMatch;
            match_pos = r;
        } else {
            depth = dp[r].level;
            match_pos = nd[r].position & ~kPassUp;
        }
        if (match_pos >= pos) match_pos -= kDictSize;
        if (length < depth) {
            length = common_length(text + pos, text + match_pos, length, depth);
            if (length < depth) {
                t.match_length = length;
                t.match_pos = match_pos;
                split_at(t, r, pos, length, match_pos);
                return;
            }
        }
        if (length >= kMaxMatch) break;
        nd[r].position = u16(pos);
        q = r;
        const int c = text[pos + length];
        if ((r = child_of(t, q, c)) == 0) {
            link_child(t, q, c, pos);
            t.match_length = length;
            t.match_pos = match_pos;
            return;
        }
        ++length;
    }
    t.match_length = length;
    t.match_pos = match_pos;
    replace_leaf(t, pos, q, r);
}

void delete_position() {
    MatchTree& t = storage().tree;
    TreeNode* nd = t.node.data();
    const int pos = t.pos;
    if (nd[pos].parent == 0) return;
    int r = nd[pos].prev;
    int s = nd[pos].next;
    next_of(t, r) = n16(s);
    nd[s].prev = u16(r);
    r = nd[pos].parent;
    nd[pos].parent = 0;
    if (r >= kDictSize || --t.depth[r].child_count > 1) return;

    // r is left with one child: pass the most recent position upwards and
    // let the child take r's place.
    int pt = nd[r].position & ~kPassUp;
    if (pt >= pos) pt -= kDictSize;
    s = pt;
    int q = nd[r].parent;
    int u;
    while ((u = nd[q].position) & kPassUp) {
        u &= ~kPassUp;
        if (u >= pos) u -= kDictSize;
        if (u > s) s = u;
        nd[q].position = u16(s | kDictSize);
        q = nd[q].parent;
    }
    if (q < kDictSize) {
        if (u >= pos) u -= kDictSize;
        if (u > s) s = u;
        nd[q].position = u16(s | kDictSize | kPassUp);
    }
    s = child_of(t, r, t.text[pt + t.depth[r].level]);
    int link = nd[s].prev;
    int after = nd[s].next;
    next_of(t, link) = n16(after);
    nd[after].prev = u16(link);
    link = nd[r].prev;
    next_of(t, link) = n16(s);
    nd[s].prev = u16(link);
    link = nd[r].next;
    nd[link].prev = u16(s);
    nd[s].next = n16(link);
    nd[s].parent = nd[r].parent;
    nd[r].parent = 0;
    nd[r].next = n16(t.free_node);
    t.free_node = r;
}

void advance() {
    MatchTree& t = storage().tree;
    --t.remaining;
    if (++t.pos == 2 * kDictSize) {
        std::memmove(&t.text[0], &t.text[kDictSize], kDictSize + kMaxMatch);
        const std::size_t got = read_input(&t.text[kDictSize + kMaxMatch], kDictSize);
        t.remaining += static_cast<int>(got);
        t.pos = kDictSize;
        if (t.verbose) say(storage().voice.err, ".");
    }
    delete_position();
    insert_position();
}

}  // namespace lh5
