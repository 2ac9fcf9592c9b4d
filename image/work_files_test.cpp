// Work files: written whole or not at all, under the tool's own names.
#include "image/work_files.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/console.hpp"
#include "common/platform.hpp"
#include "testkit/corpus.hpp"
#include "testkit/workdir.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A work file is written whole or not at all, through a temporary file of
// this process that never stays behind.
TEST(WorkFiles, WrittenWholeOrNotAtAll) {
    testkit::WorkDir dir;
    const Bytes archive = testkit::corpus(testkit::CorpusKind::Text, 2000);  // any bytes
    testkit::spit("bios.rom", "previous");
    ASSERT_TRUE(keep_work_file("", "bios.rom", archive));
    EXPECT_EQ(testkit::slurp("bios.rom"), archive);
    // A folder with something in it where the file goes: nothing is written.
    std::filesystem::create_directories("busy/inside");
    console::Capture cap;
    EXPECT_FALSE(keep_work_file("", "busy", archive));
    EXPECT_EQ(cap.err(), "Can't write busy\n");
    EXPECT_TRUE(std::filesystem::is_directory("busy/inside"));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(".")) ++entries;
    EXPECT_EQ(entries, 2u);  // bios.rom and busy: no temporary file is left
    // A dry run (a work folder) fails where the run would, and writes nothing there.
    std::filesystem::create_directory("private");
    EXPECT_FALSE(keep_work_file("private", "busy", archive));
    EXPECT_TRUE(std::filesystem::is_empty("private"));
    // The name is the tool's own: a symbolic link standing there is
    // replaced, and the file it named is kept.
    if (platform::kWindows) return;
    testkit::spit("mine.dat", "my own file");
    std::filesystem::remove("bios.rom");
    std::filesystem::create_symlink("mine.dat", "bios.rom");
    ASSERT_TRUE(keep_work_file("", "bios.rom", archive));
    EXPECT_FALSE(std::filesystem::is_symlink("bios.rom"));
    EXPECT_EQ(testkit::slurp("bios.rom"), archive);
    EXPECT_EQ(testkit::slurp("mine.dat"), Bytes({'m', 'y', ' ', 'o', 'w', 'n', ' ', 'f', 'i', 'l', 'e'}));
}

}  // namespace
