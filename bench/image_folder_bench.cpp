// Time of /unpack and /pack of a full 1 MB image, and of /diff of two such
// images that differ in one member. In process, output captured; each
// figure should stay well under a second.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "common/console.hpp"
#include "driver/run.hpp"
#include "testkit/corpus.hpp"
#include "testkit/group_runs.hpp"
#include "testkit/workdir.hpp"

namespace {

int run_quietly(std::vector<std::string> args) {
    args.insert(args.begin(), "mozaik32");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    console::Capture capture;
    return run(static_cast<int>(args.size()), argv.data());
}

void unpack(benchmark::State& state) {
    testkit::WorkDir dir;
    testkit::write_full_image();
    for (auto _ : state) {
        std::filesystem::remove_all("d");
        if (run_quietly({"img.bin", "/unpack", "d"}) != 0) state.SkipWithError("/unpack failed");
    }
}

void pack(benchmark::State& state) {
    testkit::WorkDir dir;
    testkit::write_full_image();
    run_quietly({"img.bin", "/unpack", "d"});
    for (auto _ : state)
        if (run_quietly({"new.bin", "/pack", "d"}) != 0) state.SkipWithError("/pack failed");
}

void diff(benchmark::State& state) {
    testkit::WorkDir dir;
    testkit::write_full_image();
    std::filesystem::copy_file("img.bin", "other.bin");
    testkit::spit("part5.bin", testkit::corpus(testkit::CorpusKind::Code, 20 << 10, 99));
    testkit::run_in_process({"other.bin", "/group5", "part5.bin"});
    for (auto _ : state)
        if (run_quietly({"img.bin", "/diff", "other.bin"}) != 1) state.SkipWithError("/diff found no difference");
}

BENCHMARK(unpack)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(pack)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(diff)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
