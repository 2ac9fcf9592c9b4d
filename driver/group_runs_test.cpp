// Runs of several groups on the test kit's images, drawn at random from a
// fixed seed, each checked for the properties that guard an image; and
// parallel runs in one folder, which must give what the same runs give one
// after another.
#include <gtest/gtest.h>

#include <filesystem>

#include "testkit/group_runs.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

TEST(GroupRuns, EveryRunKeepsWhatItDoesNotName) {
    testkit::WorkDir dir;
    testkit::write_run_parts();
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto pick = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state >> 33);
    };
    const auto& images = testkit::run_images();
    constexpr int kRuns = 300;
    for (int i = 0; i < kRuns; ++i) {
        const testkit::RunImage& image = images[static_cast<std::size_t>(i) % images.size()];
        const testkit::GroupRun run = testkit::make_run(pick);
        const std::string broken = testkit::check_run(image, run);
        EXPECT_EQ(broken, "") << testkit::describe(image, run);
    }
}

// Eight runs on eight images in one folder at once, then the same runs one
// after another in another folder: the same images.
TEST(GroupRuns, ParallelRunsInOneFolderGiveTheSameImages) {
    MOZAIK_LINUX_ONLY("a POSIX shell to start the runs at once");
    testkit::WorkDir dir;
    const auto& images = testkit::run_images();
    const std::string tool = MOZAIK32_BINARY;
    std::string script, serial;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "img" + std::to_string(i) + ".bin";
        const std::string line = tool + " " + name + " /fnt0 font.bin /oem1 oem.bin /pci pci.rom /mib notes.txt" +
                                 " /vga vga2.rom /err >/dev/null 2>&1";
        script += line + " &\n";
        serial += line + "\n";
    }
    std::vector<std::vector<std::uint8_t>> alone;
    for (const char* folder : {"serial", "parallel"}) {
        std::filesystem::create_directory(folder);
        std::filesystem::current_path(folder);
        testkit::write_run_parts();
        for (int i = 0; i < 8; ++i)
            testkit::spit("img" + std::to_string(i) + ".bin",
                          images[static_cast<std::size_t>(i) % images.size()].bytes);
        const bool parallel = std::string(folder) == "parallel";
        testkit::run_program("/bin/sh", {"-c", parallel ? script + "wait\n" : serial});
        int changed = 0;
        for (int i = 0; i < 8; ++i) {
            const auto bytes = testkit::slurp("img" + std::to_string(i) + ".bin");
            changed += bytes != images[static_cast<std::size_t>(i) % images.size()].bytes;
            if (!parallel)
                alone.push_back(bytes);
            else
                EXPECT_TRUE(bytes == alone[static_cast<std::size_t>(i)]) << "img" << i << ".bin differs";
        }
        EXPECT_GE(changed, 6) << folder;  // the runs did add their components
        std::filesystem::current_path("..");
    }
}

}  // namespace

// Eight runs that add eight kinds to one image, started at once, and a
// reader that verifies it in a loop meanwhile: every run waits for the one
// before it, so that all eight members arrive and /verify never sees a
// half-saved image. Repeated, since a race shows only sometimes.
TEST(GroupRuns, ParallelRunsOnOneImageEachWaitForTheOther) {
    MOZAIK_LINUX_ONLY("a POSIX shell to start the runs at once");
    const std::string tool = MOZAIK32_BINARY;
    const char* const kinds[] = {"/fnt0", "/fnt1", "/fnt2", "/oem1", "/oem2", "/oem3", "/ros", "/RPB"};
    std::string script = "for i in 1 2 3 4 5 6 7 8 9 10 11 12; do " + tool +
                         " img.bin /verify >/dev/null 2>&1; echo $? >>reader; done &\n";
    for (const char* kind : kinds) script += tool + " img.bin " + kind + " font.bin /err >/dev/null 2>>waits &\n";
    script += "wait\n";
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        testkit::WorkDir dir;
        ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--parts", "."}).status, 0);
        ASSERT_EQ(testkit::run_tool({"img.bin", "/verify"}).status, 0);
        testkit::run_program("/bin/sh", {"-c", script});
        const testkit::RunResult listing = testkit::run_tool({"img.bin", "/json"});
        for (const char* kind : kinds)
            EXPECT_NE(listing.out.find(std::string("\"switch\": \"") + kind + "\""), std::string::npos) << kind;
        EXPECT_EQ(testkit::run_tool({"img.bin", "/verify"}).status, 0);
        const std::vector<std::uint8_t> reader = testkit::slurp("reader");
        std::string statuses;
        for (int i = 0; i < 12; ++i) statuses += "0\n";
        EXPECT_EQ(std::string(reader.begin(), reader.end()), statuses);
    }
}
