// Time of /unpack and /pack of a full 1 MB image, and of /diff of two such
// images that differ in one member. In process, output captured; each
// figure should stay well under a second. And the time to read a manifest
// (parse_manifest and manifest_conflict) per line at 10,000, 50,000 and
// 200,000 lines: flat, as the reading is linear. On Linux also the peak
// resident memory of /unpack of an image with eight members of 16 MiB of
// zeros (the most a member may expand to): streamed, it stays a few MB
// above what the process held before (152 MB for the whole run when each
// expansion was held).
#include <benchmark/benchmark.h>

#ifdef __linux__
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <variant>

#include "common/console.hpp"
#include "driver/run.hpp"
#include "folder/manifest.hpp"
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

// A manifest of `lines` chain lines, each of its own TypeId (no switch: any
// TypeId goes).
std::string long_manifest(std::int64_t lines) {
    std::string text = "image image.bin 1048576 " + std::string(64, 'a') + "\n";
    for (std::int64_t i = 0; i < lines; ++i) {
        char line[200];
        std::snprintf(line, sizeof line, "chain %07lld.bin - %04llX:%04llX -lh5- - - - - \"PART%lld.BIN\"\n",
                      static_cast<long long>(i), static_cast<long long>(i >> 16), static_cast<long long>(i & 0xFFFF),
                      static_cast<long long>(i));
        text += line;
    }
    return text;
}

void manifest_lines(benchmark::State& state) {
    const std::string text = long_manifest(state.range(0));
    for (auto _ : state) {
        std::variant<Manifest, std::string> parsed = parse_manifest(text);
        if (!std::holds_alternative<Manifest>(parsed) || manifest_conflict(std::get<Manifest>(parsed)))
            state.SkipWithError("the manifest was refused");
        benchmark::DoNotOptimize(parsed);
    }
    // Seconds per line (shown as ns or us per line).
    state.counters["per_line"] =
        benchmark::Counter(static_cast<double>(state.range(0)),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

#ifdef __linux__
// The process's peak resident memory in KB since the last reset_high_water.
double high_water_kb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:")) return std::stod(line.substr(6));
    return 0;
}
void reset_high_water() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
double resident_kb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stod(line.substr(6));
    return 0;
}

void unpack_large_members(benchmark::State& state) {
    testkit::WorkDir dir;
    testkit::spit("img.bin", testkit::run_images()[0].bytes);
    testkit::spit("z.bin", std::vector<std::uint8_t>(16u << 20, 0));
    std::vector<std::string> adds = {"img.bin"};
    for (int i = 0; i < 8; ++i) adds.insert(adds.end(), {"/oem" + std::to_string(i), "z.bin"});
    if (run_quietly(adds) != 0) state.SkipWithError("the adds failed");
    std::filesystem::remove("z.bin");
    malloc_trim(0);  // what the adds freed goes back to the system
    double before = 0, peak = 0;
    for (auto _ : state) {
        std::filesystem::remove_all("d");
        reset_high_water();
        before = resident_kb();
        if (run_quietly({"img.bin", "/unpack", "d"}) != 0) state.SkipWithError("/unpack failed");
        peak = std::max(peak, high_water_kb());
    }
    state.counters["rss_before_MB"] = before / 1024;
    state.counters["peak_rss_MB"] = peak / 1024;
}
BENCHMARK(unpack_large_members)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(unpack)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(pack)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(diff)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(manifest_lines)->Arg(10000)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
