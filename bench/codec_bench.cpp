// Throughput of the LH5 compressor and decompressor on code-like, text and
// random data of 64 KB, 1 MB and 8 MB, and of the CRC-16, in memory (MB/s =
// 10^6 bytes of uncompressed data per second).
//
// Two helper modes for bench/compare_peers.sh:
//   codec_bench --write-sample code|text|random|runs|zeros SIZE FILE
//   codec_bench --expand ARCHIVE     (expands its first member to "original.tmp",
//                                     written as it is produced, with its CRC)
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "archive/crc16.hpp"
#include "archive/extract.hpp"
#include "archive/lh5_decoder.hpp"
#include "archive/lh5_encoder.hpp"
#include "common/fatal.hpp"
#include "common/file.hpp"
#include "testkit/corpus.hpp"

namespace {

const std::vector<std::uint8_t>& sample(testkit::CorpusKind kind, std::size_t size) {
    static std::map<std::pair<int, std::size_t>, std::vector<std::uint8_t>> cache;
    auto& data = cache[{static_cast<int>(kind), size}];
    if (data.empty()) data = testkit::corpus(kind, size, 42);
    return data;
}

void report(benchmark::State& state, std::size_t size) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
    state.counters["MB/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(size) / 1e6, benchmark::Counter::kIsRate);
}

void compress(benchmark::State& state, testkit::CorpusKind kind) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto& input = sample(kind, size);
    std::size_t packed = 0;
    bool gave_up = false;
    for (auto _ : state) {
        Lh5Stream s = lh5_compress_buffer(input);
        packed = s.data.size();
        gave_up = s.gave_up;
        benchmark::DoNotOptimize(s.data.data());
    }
    report(state, size);
    if (gave_up)
        state.SetLabel("gives up (stored)");
    else
        state.counters["ratio%"] = 100.0 * static_cast<double>(packed) / static_cast<double>(size);
}

void expand(benchmark::State& state, testkit::CorpusKind kind) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto& input = sample(kind, size);
    const Lh5Stream s = lh5_compress_buffer(input);
    if (s.gave_up) {
        state.SkipWithError("not compressible: stored, nothing to expand");
        return;
    }
    for (auto _ : state) {
        auto out = lh5_expand_buffer(s.data, size);
        benchmark::DoNotOptimize(out.data());
    }
    report(state, size);
}

void crc(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto& input = sample(testkit::CorpusKind::Code, size);
    for (auto _ : state) benchmark::DoNotOptimize(crc16::update(0, input));
    report(state, size);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(64 << 10)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond)->MinTime(0.5);
}

BENCHMARK_CAPTURE(compress, code, testkit::CorpusKind::Code)->Apply(sizes);
BENCHMARK_CAPTURE(compress, text, testkit::CorpusKind::Text)->Apply(sizes);
BENCHMARK_CAPTURE(compress, random, testkit::CorpusKind::Random)->Apply(sizes);
BENCHMARK_CAPTURE(expand, code, testkit::CorpusKind::Code)->Apply(sizes);
BENCHMARK_CAPTURE(expand, text, testkit::CorpusKind::Text)->Apply(sizes);
BENCHMARK_CAPTURE(expand, random, testkit::CorpusKind::Random)->Apply(sizes);
BENCHMARK(crc)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->MinTime(0.5);

int write_sample(const std::string& kind_name, const char* size_text, const std::string& path) {
    for (testkit::CorpusKind kind : testkit::kAllCorpusKinds) {
        if (testkit::corpus_name(kind) != kind_name) continue;
        const auto data = testkit::corpus(kind, std::strtoull(size_text, nullptr, 0), 42);
        return write_file(path, data) ? 0 : 1;
    }
    std::fprintf(stderr, "unknown sample kind %s\n", kind_name.c_str());
    return 2;
}

// The whole archive, read at once into memory allocated once and not
// cleared first.
std::optional<std::pair<std::unique_ptr<std::uint8_t[]>, std::size_t>> read_archive(const char* path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxInputFile) return std::nullopt;
    File f(path, "rb");
    auto bytes = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(size));
    const auto n = static_cast<std::size_t>(size);
    if (!f.is_open() || f.read(std::span(bytes.get(), n)) != n) return std::nullopt;
    return std::pair{std::move(bytes), n};
}

bool write_to_file(void* context, std::span<const std::uint8_t> piece) {
    return static_cast<File*>(context)->write(piece);
}

int expand_archive(const char* path) {
    const auto archive = read_archive(path);
    if (!archive) return 1;
    File out("original.tmp", "wb");
    if (!out.is_open()) return 1;
    const Expansion e = expand_member_to_sink(std::span(archive->first.get(), archive->second), {write_to_file, &out});
    if (e.status == Expansion::Status::Damaged) {
        std::printf("%s\n", e.damage);
        return 1;
    }
    return e.status == Expansion::Status::Complete ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--write-sample") == 0) return write_sample(argv[2], argv[3], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "--expand") == 0) return expand_archive(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
