// Runs of several option groups, as a build script makes them, on images
// with and without a top microcode block, banked and not, small and large,
// one with its checksum block at the end of its area; and the properties
// every run must keep. A table-driven test draws a few hundred runs, a fuzz
// target many more.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testkit {

// A base image of the runs, clean as /verify sees it.
struct RunImage {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::uint32_t area_end = 0;
};
const std::vector<RunImage>& run_images();
// The same layouts at 128 KB, where a layout allows it (the banked one is
// 1 MB): what a fuzz target runs many times a second.
const std::vector<RunImage>& small_run_images();

// Writes the component files the runs name into the current folder.
void write_run_parts();

// Writes img.bin, a full image for the benchmarks: the kit's 1 MB banked
// image with 27 group members of 24 KB of code-like data added (their
// files, part0.bin to part26.bin, stay beside it).
void write_full_image();

// The arguments after the InputFile, and what standard input holds.
struct GroupRun {
    std::vector<std::string> args;
    std::string input;
};

// A run of 2 to 6 groups (adds of several kinds, ROM replacements, releases,
// extracts, /D, /NC_CPUCODE, /btvga, /NVMM), each drawn with `pick`, which
// gives any 32-bit value; /err on some runs.
GroupRun make_run(const std::function<std::uint32_t()>& pick);

// The tool run in this process with `args` (the program name is added), both
// channels captured (standard output into `out` when given) and `input` on
// standard input: its exit status, a fatal error giving 1 as in main.
int run_in_process(const std::vector<std::string>& args, const std::string& input = {}, std::string* out = nullptr);

// Writes `image` as "img.bin", runs `run` on it and checks: the same run
// with /dry first leaves the image byte-identical and foretells the exit
// status and the image's digest; a run that fails
// under /err leaves the image byte-identical; the top block is unchanged
// unless the run names /NC_CPUCODE; members of kinds no group names keep
// their bytes; a run with status 0 leaves an image /verify finds clean.
// Returns what broke, empty when every property held.
std::string check_run(const RunImage& image, const GroupRun& run);

// The run as a command line, for messages.
std::string describe(const RunImage& image, const GroupRun& run);

}  // namespace testkit
