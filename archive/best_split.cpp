// Splitting by cost: the tokens are taken in units of equal count with the
// running statistics kept at each unit's end, so a range's statistics (and
// with them its exact size in bits) cost one subtraction. Blocks of a few
// units are merged bottom up, always the adjacent pair whose merge saves
// the most, while a merge saves bits (where several cuts pay together, a
// top-down split that asks for one cut at a time would stop); then each cut
// settles at its cheapest place nearby.
#include "archive/best_split.hpp"

#include <algorithm>

namespace best {
namespace {

constexpr std::size_t kMaxUnits = 4096;
constexpr std::size_t kMinUnit = 8;
constexpr std::size_t kMergeWidth = 8;         // units in a block before merging, at least
constexpr std::size_t kMaxStartBlocks = 1024;  // blocks before merging, at most
constexpr std::size_t kSettle = 8;             // units a cut may move when it settles

struct Units {
    std::vector<Stats> before;       // statistics of the tokens before each unit (and at the end)
    std::vector<std::size_t> start;  // each unit's input position (and the input's end)
};

Units make_units(std::span<const Token> tokens) {
    const std::size_t unit = std::max(kMinUnit, (tokens.size() + kMaxUnits - 1) / kMaxUnits);
    Units u;
    u.before.reserve(tokens.size() / unit + 2);
    u.start.reserve(tokens.size() / unit + 2);
    Stats running;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (i % unit == 0) {
            u.before.push_back(running);
            u.start.push_back(pos);
        }
        running.add(tokens[i]);
        pos += tokens[i].length;
    }
    u.before.push_back(running);
    u.start.push_back(pos);
    return u;
}

std::uint64_t range_bits(const Units& u, std::size_t a, std::size_t b) {
    Stats s = u.before[b];
    s.subtract(u.before[a]);
    return block_bits(s);
}

// Each cut moved to its cheapest place near where it is (within kSettle
// units), and cuts that no longer pay taken away.
void settle(const Units& u, std::vector<std::size_t>& cuts) {
    std::vector<std::size_t> at = {0};
    at.insert(at.end(), cuts.begin(), cuts.end());
    at.push_back(u.start.size() - 1);
    for (std::size_t i = 1; i + 1 < at.size();) {
        const std::size_t from = std::max(at[i - 1] + 1, at[i] > kSettle ? at[i] - kSettle : 0);
        const std::size_t to = std::min(at[i + 1] - 1, at[i] + kSettle);
        std::size_t best = at[i];
        std::uint64_t best_bits = UINT64_MAX;
        for (std::size_t s = from; s <= to; ++s) {
            const std::uint64_t bits = range_bits(u, at[i - 1], s) + range_bits(u, s, at[i + 1]);
            if (bits < best_bits) best_bits = bits, best = s;
        }
        if (best_bits >= range_bits(u, at[i - 1], at[i + 1])) {
            at.erase(at.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        at[i++] = best;
    }
    cuts.assign(at.begin() + 1, at.end() - 1);
}

// Bottom-up: blocks of `width` units, the adjacent pair whose merge saves
// the most merged while any merge saves.
std::vector<std::size_t> merge_up(const Units& u, std::size_t width) {
    const std::size_t n = u.start.size() - 1;
    if (n == 0) return {};
    std::vector<std::size_t> at;
    for (std::size_t a = 0; a < n; a += width) at.push_back(a);
    at.push_back(n);
    std::vector<std::uint64_t> alone;
    for (std::size_t i = 0; i + 1 < at.size(); ++i) alone.push_back(range_bits(u, at[i], at[i + 1]));
    std::vector<std::int64_t> saving;
    const auto pair_saving = [&](std::size_t i) {
        return static_cast<std::int64_t>(alone[i] + alone[i + 1]) -
               static_cast<std::int64_t>(range_bits(u, at[i], at[i + 2]));
    };
    for (std::size_t i = 0; i + 1 < alone.size(); ++i) saving.push_back(pair_saving(i));
    while (!saving.empty()) {
        const std::size_t i = static_cast<std::size_t>(std::max_element(saving.begin(), saving.end()) - saving.begin());
        if (saving[i] <= 0) break;
        alone[i] = alone[i] + alone[i + 1] - static_cast<std::uint64_t>(saving[i]);  // the merged block's bits
        alone.erase(alone.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        at.erase(at.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        saving.erase(saving.begin() + static_cast<std::ptrdiff_t>(i));
        if (i < saving.size()) saving[i] = pair_saving(i);
        if (i > 0) saving[i - 1] = pair_saving(i - 1);
    }
    return std::vector<std::size_t>(at.begin() + 1, at.end() - 1);
}

}  // namespace

std::vector<std::size_t> choose_blocks(std::span<const Token> tokens) {
    const Units u = make_units(tokens);
    std::vector<std::size_t> cuts = merge_up(u, std::max(kMergeWidth, (u.start.size() - 1) / kMaxStartBlocks));
    settle(u, cuts);
    std::vector<std::size_t> starts{0};
    for (std::size_t c : cuts) starts.push_back(u.start[c]);
    if (!tokens.empty()) starts.push_back(u.start.back());
    return starts;
}

}  // namespace best
