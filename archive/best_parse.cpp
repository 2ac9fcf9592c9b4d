// Parses of one block. The shortest path is found backwards: the cheapest
// way from each position to the block's end is a literal or one of its
// match lengths (at the nearest distance found for that length) followed by
// the cheapest way on from there.
#include "archive/best_parse.hpp"

#include <algorithm>
#include <cmath>

namespace best {
namespace {

constexpr std::uint32_t kRareSymbol = 13;  // bits for a symbol the code leaves out
constexpr std::uint32_t kRareClass = 8;
constexpr std::uint32_t kScale = 16;  // cost units per bit

}  // namespace

CostModel cost_model(const BlockCode& code) {
    CostModel m;
    for (int i = 0; i < kSymbols; ++i) {
        const std::uint32_t len = code.symbol_length[i];
        m.symbol[i] = kScale * (len ? len : (code.single_symbol == i ? 1 : kRareSymbol));
    }
    for (int i = 0; i < kClasses; ++i) {
        const std::uint32_t len = code.class_length[i];
        const std::uint32_t extra = i > 1 ? static_cast<std::uint32_t>(i - 1) : 0;
        m.distance[i] = kScale * ((len ? len : (code.single_class == i ? 1 : kRareClass)) + extra);
    }
    return m;
}

namespace {

template <std::size_t N>
void entropy_costs(const std::array<std::uint32_t, N>& freq, std::array<std::uint32_t, N>& cost, std::uint32_t rare) {
    double total = 0;
    for (std::uint32_t f : freq) total += f;
    for (std::size_t i = 0; i < N; ++i) {
        const double bits = freq[i] ? std::max(1.0, std::log2(total / freq[i])) : rare;
        cost[i] = static_cast<std::uint32_t>(bits * kScale + 0.5);
    }
}

}  // namespace

CostModel cost_model(const Stats& s) {
    CostModel m;
    entropy_costs(s.symbol, m.symbol, kRareSymbol);
    entropy_costs(s.distance, m.distance, kRareClass);
    for (int i = 2; i < kClasses; ++i) m.distance[i] += kScale * static_cast<std::uint32_t>(i - 1);
    return m;
}

std::vector<Token> lazy_parse(std::span<const std::uint8_t> data, const MatchTable& table, std::size_t begin,
                              std::size_t end) {
    const auto longest = [&](std::size_t i) {
        if (i >= end || table.first[i + 1] == table.first[i]) return Match{};
        Match m = table.matches[table.first[i + 1] - 1];
        m.length = static_cast<std::uint16_t>(std::min<std::size_t>(m.length, end - i));
        return m;
    };
    std::vector<Token> tokens;
    std::size_t i = begin;
    Match here = longest(i);
    while (i < end) {
        const Match next = longest(i + 1);
        Token t{1, data[i]};
        if (here.length >= kMinMatch && next.length <= here.length) t = {here.length, here.distance};
        tokens.push_back(t);
        i += t.length;
        here = t.length == 1 ? next : longest(i);
    }
    return tokens;
}

std::vector<Token> optimal_parse(std::span<const std::uint8_t> data, const MatchTable& table, std::size_t begin,
                                 std::size_t end, const CostModel& cost) {
    const std::size_t n = end - begin;
    std::vector<std::uint64_t> to_end(n + 1, 0);
    std::vector<Token> choice(n);
    for (std::size_t k = n; k-- > 0;) {
        const std::size_t i = begin + k;
        Token best{1, data[i]};
        std::uint64_t best_cost = cost.symbol[data[i]] + to_end[k + 1];
        const std::size_t room = n - k;
        std::size_t len = kMinMatch;
        for (std::uint32_t j = table.first[i]; j < table.first[i + 1] && len <= room; ++j) {
            const Match m = table.matches[j];
            const std::uint32_t distance_cost = cost.distance[class_of(m.distance)];
            const std::size_t top = std::min<std::size_t>(m.length, room);
            if (top == kMaxMatch) len = kMaxMatch;  // in a long copy, only its whole length
            for (; len <= top; ++len) {
                const std::uint64_t c = cost.symbol[253 + len] + distance_cost + to_end[k + len];
                if (c < best_cost) {
                    best_cost = c;
                    best = {static_cast<std::uint16_t>(len), m.distance};
                }
            }
        }
        to_end[k] = best_cost;
        choice[k] = best;
    }
    std::vector<Token> tokens;
    for (std::size_t k = 0; k < n; k += choice[k].length) tokens.push_back(choice[k]);
    return tokens;
}

}  // namespace best
