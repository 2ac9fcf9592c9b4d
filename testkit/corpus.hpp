// Deterministic sample inputs for codec tests and benchmarks: zeros, runs,
// English-like text, x86-code-like binary and random bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace testkit {

enum class CorpusKind { Zeros, Runs, Text, Code, Random };

inline constexpr CorpusKind kAllCorpusKinds[] = {CorpusKind::Zeros, CorpusKind::Runs, CorpusKind::Text,
                                                 CorpusKind::Code, CorpusKind::Random};

std::string_view corpus_name(CorpusKind kind);

// `size` bytes of the kind; the same seed gives the same bytes.
std::vector<std::uint8_t> corpus(CorpusKind kind, std::size_t size, std::uint64_t seed = 1);

}  // namespace testkit
