// The packer's steps: all matches of the input; a lazy parse to choose
// block boundaries by cost; per block, shortest-path parses iterated with
// the costs of the block's own counts and codes from the pass before, the
// cheapest kept; the same again with the boundaries chosen on that parse
// (kept when it saves); then the blocks written, none longer than the
// 16-bit token count.
#include "archive/best_encoder.hpp"

#include <algorithm>

#include "archive/best_block.hpp"
#include "archive/best_match_finder.hpp"
#include "archive/best_parse.hpp"
#include "archive/best_split.hpp"

namespace {

using namespace best;

constexpr int kPasses = 2;  // shortest-path parses per block and round (more found nothing more)
constexpr int kRounds = 2;  // boundaries chosen, blocks parsed

// The cheapest parse of data[begin, end) found from `seed`: each pass
// parses under the costs the pass before gave (its counts, then its codes).
std::vector<Token> refine(std::span<const std::uint8_t> data, const MatchTable& table, std::size_t begin,
                          std::size_t end, std::vector<Token> seed) {
    std::vector<Token> best = std::move(seed);
    Stats stats = count_tokens(best);
    BlockCode code = make_block_code(stats);
    std::uint64_t best_bits = block_bits(stats, code);
    for (int pass = 0; pass < kPasses; ++pass) {
        std::vector<Token> tokens =
            optimal_parse(data, table, begin, end, pass % 2 ? cost_model(code) : cost_model(stats));
        stats = count_tokens(tokens);
        code = make_block_code(stats);
        const std::uint64_t bits = block_bits(stats, code);
        if (bits >= best_bits) continue;
        best_bits = bits;
        best = std::move(tokens);
    }
    return best;
}

// Blocks chosen on `tokens` (the whole input's), each refined from its part of them.
std::vector<std::vector<Token>> refine_blocks(std::span<const std::uint8_t> data, const MatchTable& table,
                                              const std::vector<Token>& tokens) {
    const std::vector<std::size_t> starts = choose_blocks(tokens);
    std::vector<std::vector<Token>> blocks;
    std::size_t at = 0;
    for (std::size_t b = 0; b + 1 < starts.size(); ++b) {
        std::vector<Token> seed;
        for (std::size_t pos = starts[b]; pos < starts[b + 1]; ++at) {
            seed.push_back(tokens[at]);
            pos += tokens[at].length;
        }
        blocks.push_back(refine(data, table, starts[b], starts[b + 1], std::move(seed)));
    }
    return blocks;
}

std::uint64_t total_bits(const std::vector<std::vector<Token>>& blocks) {
    std::uint64_t bits = 0;
    for (const std::vector<Token>& b : blocks) bits += block_bits(count_tokens(b));
    return bits;
}

}  // namespace

std::vector<std::uint8_t> lh5_compress_best(std::span<const std::uint8_t> input) {
    std::vector<std::uint8_t> out;
    if (input.empty()) return out;
    const MatchTable table = find_matches(input);
    std::vector<std::vector<Token>> blocks = refine_blocks(input, table, lazy_parse(input, table, 0, input.size()));
    std::uint64_t bits = total_bits(blocks);
    for (int round = 1; round < kRounds; ++round) {
        std::vector<Token> all;
        for (const std::vector<Token>& b : blocks) all.insert(all.end(), b.begin(), b.end());
        std::vector<std::vector<Token>> again = refine_blocks(input, table, all);
        const std::uint64_t again_bits = total_bits(again);
        if (again_bits >= bits) break;
        bits = again_bits;
        blocks = std::move(again);
    }
    BitWriter w{&out};
    for (const std::vector<Token>& tokens : blocks) {
        for (std::size_t at = 0; at < tokens.size(); at += kMaxBlockTokens) {
            const std::size_t count = std::min(kMaxBlockTokens, tokens.size() - at);
            write_block(w, std::span(tokens).subspan(at, count));
        }
    }
    w.pad();
    return out;
}
