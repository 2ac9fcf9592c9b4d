// The tree match finder.
#include "archive/match_finder.hpp"

#include <algorithm>
#include <cstring>

#include "archive/codec_storage.hpp"
#include "archive/lh5_encoder.hpp"
#include "common/console.hpp"

namespace lh5 {
namespace {

inline int child_hash(int q, int c) { return q + (c << (kDictBits - 9)) + 2 * kDictSize; }

inline std::int16_t n16(int v) { return static_cast<std::int16_t>(v); }

}  // namespace

void match_finder_start() {
    MatchTree& t = storage().tree;
    t.text.fill(0);
    t.level.fill(0);
    t.child_count.fill(0);
    t.position.fill(0);
    t.parent.fill(0);
    t.prev_link.fill(0);
    t.next_link.fill(0);
    for (int i = kDictSize; i < kLevelSize; ++i) t.level[i] = 1;
    for (int i = 1; i < kDictSize - 1; ++i) t.next_link[i] = n16(i + 1);
    t.next_link[kDictSize - 1] = 0;
    t.free_node = 1;
}

int find_child(int q, int c) {
    MatchTree& t = storage().tree;
    int r = t.next_link[child_hash(q, c)];
    t.parent[0] = n16(q);  // stop mark
    while (t.parent[r] != q) r = t.next_link[r];
    return r;
}

void add_child(int q, int c, int r) {
    MatchTree& t = storage().tree;
    const int h = child_hash(q, c);
    const int old_head = t.next_link[h];
    t.next_link[h] = n16(r);
    t.next_link[r] = n16(old_head);
    t.prev_link[old_head] = n16(r);
    t.prev_link[r] = n16(h);
    t.parent[r] = n16(q);
    ++t.child_count[q];
}

void split_node(int old) {
    MatchTree& t = storage().tree;
    const int n = t.free_node;
    t.free_node = t.next_link[n];
    t.child_count[n] = 0;
    int link = t.prev_link[old];
    t.prev_link[n] = n16(link);
    t.next_link[link] = n16(n);
    link = t.next_link[old];
    t.next_link[n] = n16(link);
    t.prev_link[link] = n16(n);
    t.parent[n] = t.parent[old];
    t.level[n] = static_cast<std::uint8_t>(t.match_length);
    t.position[n] = static_cast<std::uint16_t>(t.pos);
    add_child(n, t.text[t.match_pos + t.match_length], old);
    add_child(n, t.text[t.pos + t.match_length], t.pos);
}

void insert_position() {
    MatchTree& t = storage().tree;
    int q, r;
    if (t.match_length >= 4) {
        // Start from the node of the previous match, one byte shorter.
        --t.match_length;
        r = (t.match_pos + 1) | kDictSize;
        while ((q = t.parent[r]) == 0) r = t.next_link[r];
        while (t.level[q] >= t.match_length) {
            r = q;
            q = t.parent[q];
        }
        int u = q;
        while (t.position[u] & kPassUp) {
            t.position[u] = static_cast<std::uint16_t>(t.pos);
            u = t.parent[u];
        }
        if (u < kDictSize) t.position[u] = static_cast<std::uint16_t>(t.pos | kPassUp);
    } else {
        q = t.text[t.pos] + kDictSize;
        const int c = t.text[t.pos + 1];
        if ((r = find_child(q, c)) == 0) {
            add_child(q, c, t.pos);
            t.match_length = 1;
            return;
        }
        t.match_length = 2;
    }
    for (;;) {
        int depth;
        if (r >= kDictSize) {
            depth = kMaxMatch;
            t.match_pos = r;
        } else {
            depth = t.level[r];
            t.match_pos = t.position[r] & ~kPassUp;
        }
        if (t.match_pos >= t.pos) t.match_pos -= kDictSize;
        const std::uint8_t* a = &t.text[t.pos + t.match_length];
        const std::uint8_t* b = &t.text[t.match_pos + t.match_length];
        while (t.match_length < depth) {
            if (*a != *b) {
                split_node(r);
                return;
            }
            ++t.match_length;
            ++a;
            ++b;
        }
        if (t.match_length >= kMaxMatch) break;
        t.position[r] = static_cast<std::uint16_t>(t.pos);
        q = r;
        if ((r = find_child(q, *a)) == 0) {
            add_child(q, *a, t.pos);
            return;
        }
        ++t.match_length;
    }
    // A full match: the new leaf replaces the old one, which keeps a link
    // to its replacement.
    int link = t.prev_link[r];
    t.prev_link[t.pos] = n16(link);
    t.next_link[link] = n16(t.pos);
    link = t.next_link[r];
    t.next_link[t.pos] = n16(link);
    t.prev_link[link] = n16(t.pos);
    t.parent[t.pos] = n16(q);
    t.parent[r] = 0;
    t.next_link[r] = n16(t.pos);
}

void delete_position() {
    MatchTree& t = storage().tree;
    if (t.parent[t.pos] == 0) return;
    int r = t.prev_link[t.pos];
    int s = t.next_link[t.pos];
    t.next_link[r] = n16(s);
    t.prev_link[s] = n16(r);
    r = t.parent[t.pos];
    t.parent[t.pos] = 0;
    if (r >= kDictSize || --t.child_count[r] > 1) return;

    // r is left with one child: pass the most recent position upwards and
    // let the child take r's place.
    int pt = t.position[r] & ~kPassUp;
    if (pt >= t.pos) pt -= kDictSize;
    s = pt;
    int q = t.parent[r];
    int u;
    while ((u = t.position[q]) & kPassUp) {
        u &= ~kPassUp;
        if (u >= t.pos) u -= kDictSize;
        if (u > s) s = u;
        t.position[q] = static_cast<std::uint16_t>(s | kDictSize);
        q = t.parent[q];
    }
    if (q < kDictSize) {
        if (u >= t.pos) u -= kDictSize;
        if (u > s) s = u;
        t.position[q] = static_cast<std::uint16_t>(s | kDictSize | kPassUp);
    }
    s = find_child(r, t.text[pt + t.level[r]]);
    int link = t.prev_link[s];
    int after = t.next_link[s];
    t.next_link[link] = n16(after);
    t.prev_link[after] = n16(link);
    link = t.prev_link[r];
    t.next_link[link] = n16(s);
    t.prev_link[s] = n16(link);
    link = t.next_link[r];
    t.prev_link[link] = n16(s);
    t.next_link[s] = n16(link);
    t.parent[s] = t.parent[r];
    t.parent[r] = 0;
    t.next_link[r] = n16(t.free_node);
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
        if (t.verbose) console::con(".");
    }
    delete_position();
    insert_position();
}

}  // namespace lh5
