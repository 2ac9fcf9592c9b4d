// Time of the JSON report (/json) of a 1 MB image whose chain is full of
// -lh5- members: the image read whole, every member expanded and its CRC
// checked, the SHA-256 of the image and the document written. In process,
// standard output captured; the figure should stay well under a second.
#include <benchmark/benchmark.h>

#include "common/console.hpp"
#include "driver/run.hpp"
#include "testkit/corpus.hpp"
#include "testkit/group_runs.hpp"
#include "testkit/workdir.hpp"

namespace {

// The document of `mozaik32 img.bin /json`, run in this process.
std::string report() {
    std::vector<std::string> args = {"mozaik32", "img.bin", "/json"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    console::Capture capture;
    run(static_cast<int>(args.size()), argv.data());
    return capture.out();
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

void json_report(benchmark::State& state) {
    testkit::WorkDir dir;
    testkit::write_full_image();
    std::string document;
    for (auto _ : state) {
        document = report();
        benchmark::DoNotOptimize(document.data());
    }
    state.counters["members"] = static_cast<double>(count(document, "\"place\""));
    state.counters["lh5"] = static_cast<double>(count(document, "\"-lh5-\""));
    state.counters["document_bytes"] = static_cast<double>(document.size());
}

BENCHMARK(json_report)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
