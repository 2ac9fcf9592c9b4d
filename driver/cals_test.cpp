// /CALS run as a build script runs it: the size report, "bios.rom" left
// behind as an ordinary LZH archive, and the image untouched.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/extract.hpp"
#include "common/file.hpp"
#include "common/platform.hpp"
#include "testkit/corpus.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

std::string last_line(const std::string& text) {
    const auto end = text.size() > 0 && text.back() == '\n' ? text.size() - 1 : text.size();
    const auto start = text.rfind('\n', end == 0 ? 0 : end - 1);
    return text.substr(start == std::string::npos ? 0 : start + 1);
}

std::string size_report(const std::string& name, std::size_t size) {
    char line[128];
    std::snprintf(line, sizeof line, "%s compressed size is ... %.2fK\n", name.c_str(), size / 1024.0);
    return line;
}

TEST(Cals, ReportsTheSizeAndLeavesTheArchive) {
    testkit::WorkDir dir;
    ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--size", "256K"}).status, 0);
    const auto image = testkit::slurp("img.bin");
    const auto component = testkit::corpus(testkit::CorpusKind::Code, 70000);
    testkit::spit("comp.bin", component);

    const auto r = testkit::run_tool({"img.bin", "/CALS", "comp.bin"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto archive = testkit::slurp("bios.rom");
    EXPECT_EQ(last_line(r.out), size_report("comp.bin", archive.size()));
    EXPECT_EQ(std::string(archive.begin() + 2, archive.begin() + 7), "-lh5-");
    EXPECT_LT(archive.size(), component.size());
    EXPECT_EQ(archive.back(), 0);
    EXPECT_EQ(testkit::slurp("img.bin"), image);
    EXPECT_FALSE(file_exists("tempbios.rom"));
    if (!platform::kWindows && file_exists("/usr/bin/bsdtar")) {
        const auto x = testkit::run_program("/usr/bin/bsdtar", {"-xOf", "bios.rom"});
        EXPECT_EQ(x.status, 0);
        EXPECT_TRUE(x.out == std::string(component.begin(), component.end()));
    }
}

TEST(Cals, IncompressibleFileIsCountedStored) {
    testkit::WorkDir dir;
    ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--size", "128K"}).status, 0);
    testkit::spit("noise.bin", testkit::corpus(testkit::CorpusKind::Random, 3000));
    const auto r = testkit::run_tool({"img.bin", "/cals", "noise.bin"});
    EXPECT_EQ(r.status, 0);
    // 27 + 9 header bytes, the data and the end byte.
    EXPECT_EQ(last_line(r.out), size_report("noise.bin", 27 + 9 + 3000 + 1));
}

TEST(Cals, WorkArchiveAsInputIsRefusedAndKeptWhole) {
    testkit::WorkDir dir;
    ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--size", "128K"}).status, 0);
    const auto image = testkit::slurp("img.bin");
    const auto user = testkit::corpus(testkit::CorpusKind::Code, 5000);
    testkit::spit("bios.rom", user);
    for (const char* name : {"bios.rom", "./bios.rom"}) {
        auto r = testkit::run_tool({"img.bin", "/CALS", name});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, std::string("Can't pack ") + name + ": it is the work file bios.rom\n");
        EXPECT_EQ(r.out.find("compressed size"), std::string::npos) << r.out;
        EXPECT_EQ(testkit::slurp("bios.rom"), user);
    }
    // Under /err the refusal is a failure of the kind.
    auto r = testkit::run_tool({"img.bin", "/CALS", "bios.rom", "/err"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("!!! Combine"), std::string::npos) << r.err;
    EXPECT_EQ(testkit::slurp("bios.rom"), user);
    EXPECT_EQ(testkit::slurp("img.bin"), image);
}

TEST(Cals, WorkArchiveThatCannotBeWrittenEndsTheRunWithStatus1) {
    testkit::WorkDir dir;
    ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--size", "128K"}).status, 0);
    const auto image = testkit::slurp("img.bin");
    testkit::spit("comp.bin", testkit::corpus(testkit::CorpusKind::Text, 5000));
    std::filesystem::create_directories("bios.rom/inside");
    const auto r = testkit::run_tool({"img.bin", "/CALS", "comp.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("compressed size"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "Can't write bios.rom\n");
    EXPECT_TRUE(std::filesystem::is_directory("bios.rom/inside"));
    EXPECT_EQ(testkit::slurp("img.bin"), image);
}

// /best anywhere on the line: /CALS reports the smaller archive it leaves,
// which expands to the file; an add takes less of the image, which then
// checks clean and gives the same bytes back.
TEST(Cals, BestPacksSmallerWhereverItStands) {
    testkit::WorkDir dir;
    ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--size", "256K"}).status, 0);
    const auto component = testkit::corpus(testkit::CorpusKind::Code, 70000);
    testkit::spit("comp.bin", component);
    ASSERT_EQ(testkit::run_tool({"img.bin", "/CALS", "comp.bin"}).status, 0);
    const std::size_t exact = testkit::slurp("bios.rom").size();
    for (const std::vector<std::string>& line : {std::vector<std::string>{"img.bin", "/CALS", "comp.bin", "/best"},
                                                 {"img.bin", "/BEST", "/CALS", "comp.bin"}}) {
        const auto r = testkit::run_tool(line);
        EXPECT_EQ(r.status, 0) << r.err;
        const auto archive = testkit::slurp("bios.rom");
        EXPECT_EQ(last_line(r.out), size_report("comp.bin", archive.size()));
        EXPECT_LT(archive.size(), exact);
        EXPECT_EQ(expand_member(archive).data, component);
    }
    std::filesystem::copy_file("img.bin", "best.bin");
    ASSERT_EQ(testkit::run_tool({"img.bin", "/other", "D000:0", "comp.bin"}).status, 0);
    ASSERT_EQ(testkit::run_tool({"best.bin", "/other", "D000:0", "comp.bin", "/best"}).status, 0);
    EXPECT_EQ(testkit::run_tool({"best.bin", "/verify"}).status, 0);
    const auto free_space = [](const std::string& image) {
        const std::string out = testkit::run_tool({image, "/json"}).out;
        const auto at = out.find("\"free\":");
        return at == std::string::npos ? -1LL : std::stoll(out.substr(at + 7));
    };
    EXPECT_GT(free_space("img.bin"), 0);
    EXPECT_GT(free_space("best.bin"), free_space("img.bin"));
}

}  // namespace
