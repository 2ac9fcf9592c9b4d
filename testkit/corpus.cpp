// Sample input generators.
#include "testkit/corpus.hpp"

#include <algorithm>
#include <array>
#include <string>

namespace testkit {
namespace {

struct Rng {
    std::uint64_t s;
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    unsigned below(unsigned n) { return static_cast<unsigned>(next() % n); }
    // Small values much more often than large ones.
    unsigned skewed(unsigned n) {
        unsigned a = below(n), b = below(n);
        return a < b ? a : b;
    }
};

void runs(std::vector<std::uint8_t>& out, std::size_t size, Rng& rng) {
    while (out.size() < size) {
        const std::uint8_t b = static_cast<std::uint8_t>(rng.below(4) == 0 ? 0xFF : rng.below(8));
        for (unsigned n = 1 + rng.below(300); n > 0 && out.size() < size; --n) out.push_back(b);
    }
}

void text(std::vector<std::uint8_t>& out, std::size_t size, Rng& rng) {
    static constexpr std::array<std::string_view, 48> kWords = {
        "the",    "of",     "and",   "to",     "a",       "in",      "is",        "it",   "that", "for",
        "was",    "on",     "are",   "with",   "as",      "be",      "at",        "this", "have", "from",
        "or",     "by",     "one",   "had",    "not",     "but",     "what",      "all",  "were", "when",
        "we",     "there",  "can",   "an",     "your",    "which",   "their",     "said", "if",   "memory",
        "system", "option", "table", "device", "address", "segment", "interrupt", "video"};
    std::size_t line = 0;
    while (out.size() < size) {
        std::string_view w = kWords[rng.skewed(kWords.size())];
        for (char c : w) out.push_back(static_cast<std::uint8_t>(c));
        line += w.size() + 1;
        const unsigned p = rng.below(20);
        if (p == 0) out.push_back('.');
        if (p == 1) out.push_back(',');
        if (line > 60 + rng.below(15)) {
            out.push_back('\r');
            out.push_back('\n');
            line = 0;
        } else {
            out.push_back(' ');
        }
    }
    out.resize(size);
}

// Instructions of a real-mode x86 flavour: common opcodes with operands from
// small pools (addresses and constants recur), and now and then a copy of
// an earlier stretch, as repeated prologues and idioms are.
void code(std::vector<std::uint8_t>& out, std::size_t size, Rng& rng) {
    std::array<std::uint16_t, 64> addresses;
    for (auto& a : addresses) a = static_cast<std::uint16_t>(rng.next());
    auto imm16 = [&](bool address) {
        std::uint16_t v =
            address ? addresses[rng.skewed(addresses.size())] : static_cast<std::uint16_t>(rng.skewed(256));
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    while (out.size() < size) {
        const unsigned k = rng.below(20);
        if (k == 0 && out.size() > 64) {
            const std::size_t len = 4 + rng.below(40);
            const std::size_t dist = 1 + rng.below(static_cast<unsigned>(std::min<std::size_t>(out.size(), 8000)));
            const std::size_t start = out.size() - dist;
            for (std::size_t i = 0; i < len; ++i) out.push_back(out[start + i]);
            continue;
        }
        switch (rng.below(12)) {
        case 0:
            out.push_back(0xB8 + static_cast<std::uint8_t>(rng.below(8)));
            imm16(false);
            break;
        case 1:
            out.push_back(0xE8);
            imm16(true);
            break;
        case 2: out.push_back(0x50 + static_cast<std::uint8_t>(rng.below(16))); break;
        case 3:
            out.push_back(0x8B);
            out.push_back(static_cast<std::uint8_t>(0x46 + 8 * rng.below(4)));
            out.push_back(static_cast<std::uint8_t>(0x100 - 2 * (1 + rng.skewed(8))));
            break;
        case 4:
            out.push_back(0x89);
            out.push_back(static_cast<std::uint8_t>(0x46 + 8 * rng.below(4)));
            out.push_back(static_cast<std::uint8_t>(2 * (2 + rng.skewed(8))));
            break;
        case 5:
            out.push_back(0x74 + static_cast<std::uint8_t>(rng.below(2)));
            out.push_back(static_cast<std::uint8_t>(rng.below(64)));
            break;
        case 6:
            out.push_back(0xCD);
            out.push_back(rng.below(2) ? 0x10 : 0x21);
            break;
        case 7:
            out.push_back(0x3C);
            out.push_back(static_cast<std::uint8_t>(rng.skewed(128)));
            break;
        case 8:
            out.push_back(0xA1);
            imm16(true);
            break;
        case 9: out.push_back(0xC3); break;
        case 10:
            out.push_back(0x2E);
            out.push_back(0x8E);
            out.push_back(0x1E);
            imm16(true);
            break;
        default:
            out.push_back(0x33);
            out.push_back(static_cast<std::uint8_t>(0xC0 + 9 * rng.below(4)));
            break;
        }
    }
    out.resize(size);
}

}  // namespace

std::string_view corpus_name(CorpusKind kind) {
    switch (kind) {
    case CorpusKind::Zeros: return "zeros";
    case CorpusKind::Runs: return "runs";
    case CorpusKind::Text: return "text";
    case CorpusKind::Code: return "code";
    case CorpusKind::Random: return "random";
    }
    return "?";
}

std::vector<std::uint8_t> corpus(CorpusKind kind, std::size_t size, std::uint64_t seed) {
    Rng rng{seed * 0x2545F4914F6CDD1Dull + static_cast<std::uint64_t>(kind)};
    std::vector<std::uint8_t> out;
    out.reserve(size + 64);
    switch (kind) {
    case CorpusKind::Zeros: out.assign(size, 0); break;
    case CorpusKind::Runs: runs(out, size, rng); break;
    case CorpusKind::Text: text(out, size, rng); break;
    case CorpusKind::Code: code(out, size, rng); break;
    case CorpusKind::Random:
        while (out.size() < size) out.push_back(static_cast<std::uint8_t>(rng.next() >> 24));
        break;
    }
    return out;
}

}  // namespace testkit
