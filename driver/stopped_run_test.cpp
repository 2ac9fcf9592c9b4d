// A changing run stopped at each of its writes, through the real binary
// under strace's fault injection (a signal at the Nth call of a kind): once
// the next run has opened the image, it is the image as it was or the
// image the run makes, never a mix, and /verify finds it clean.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "testkit/extract_kit.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(StoppedRun, EveryKillPointLeavesTheOldImageOrTheNew) {
    MOZAIK_LINUX_ONLY("strace, to stop the run at a chosen call");
    const std::optional<std::string> strace = testkit::find_on_path("strace");
    MOZAIK_NEEDS(strace, "no strace (make deps installs it)");
    testkit::WorkDir dir;
    ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--parts", "."}).status, 0);
    ASSERT_EQ(testkit::run_tool({"img.bin", "/vga", "vga.rom", "/pci", "pci.rom", "/err"}).status, 0);
    const Bytes before = testkit::slurp("img.bin");
    // A release (the members behind it move down) and two adds.
    const std::vector<std::string> run = {"img.bin",  "/vga",  "release",   "slot=1", "/fnt0",
                                          "font.bin", "/oem1", "table.bin", "/err"};
    ASSERT_EQ(testkit::run_tool(run).status, 0);
    const Bytes after = testkit::slurp("img.bin");
    ASSERT_NE(before, after);

    // Each call of these kinds in turn, until the run gets past the last one.
    const struct {
        const char* call;
        const char* signal;
    } kinds[] = {{"pwrite64", "KILL"}, {"fsync", "KILL"},    {"unlink", "KILL"}, {"rename", "KILL"},
                 {"write", "KILL"},    {"pwrite64", "TERM"}, {"pwrite64", "INT"}};
    int points = 0;
    for (const auto& kind : kinds) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string(kind.call) + " " + std::to_string(n) + " " + kind.signal);
            testkit::spit("img.bin", before);
            std::vector<std::string> args = {
                "-f",
                "-o",
                "/dev/null",
                "-e",
                std::string("inject=") + kind.call + ":signal=" + kind.signal + ":when=" + std::to_string(n),
                MOZAIK32_BINARY};
            args.insert(args.end(), run.begin(), run.end());
            // LeakSanitizer cannot run under ptrace: a sanitized build's run
            // under strace would end with its fatal error instead of the signal.
            testkit::RunOptions traced;
            traced.env.push_back({"ASAN_OPTIONS", "detect_leaks=0"});
            const testkit::RunResult stopped = testkit::run_program(*strace, args, traced);
            if (stopped.status == 0) break;  // no Nth call: the run went through
            ASSERT_EQ(stopped.status, -1) << stopped.err;
            ++points;
            const testkit::RunResult next = testkit::run_tool({"img.bin", "/verify"});
            const Bytes now = testkit::slurp("img.bin");
            EXPECT_TRUE(now == before || now == after);
            EXPECT_EQ(next.status, 0) << next.out;
            EXPECT_FALSE(std::filesystem::exists("img.bin.journal"));
            ASSERT_LT(n, 2000) << "the run never got past its calls";
        }
    }
    std::printf("kill points covered: %d\n", points);
    EXPECT_GT(points, 20);
}

}  // namespace
