// replace_file against what may stand at and beside its target: links
// planted at the temporary names a run once used, pipes and folders.
#include "common/file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/platform.hpp"
#include "testkit/workdir.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Case {
    const char* what;
    std::function<void()> plant;
    AtName at_name;
    bool written;          // replace_file's answer
    std::string out_text;  // what "out.rom" then reads as ("" when it is no file)
};

TEST(ReplaceFile, WritesOnlyTheNamedFileWhateverIsPlanted) {
    const std::string pid_name = "out.rom." + std::to_string(platform::process_id()) + ".tmp";
    const std::vector<Case> cases = {
        {"nothing there", [] {}, AtName::Follow, true, "new"},
        {"a file there", [] { testkit::spit("out.rom", std::string("old")); }, AtName::Follow, true, "new"},
#ifndef _WIN32
        {"a link at the temporary name of the process id", [&] { fs::create_symlink("victim.txt", pid_name); },
         AtName::Follow, true, "new"},
        {"a dangling link at the temporary name", [&] { fs::create_symlink("made-by-link", pid_name); },
         AtName::Replace, true, "new"},
        {"a link at the target, followed", [] { fs::create_symlink("victim.txt", "out.rom"); }, AtName::Follow, true,
         "new"},
        {"a link at the target, replaced", [] { fs::create_symlink("victim.txt", "out.rom"); }, AtName::Replace, true,
         "new"},
        {"a pipe at the target", [] { ASSERT_EQ(mkfifo("out.rom", 0644), 0); }, AtName::Follow, false, ""},
        {"a link to a pipe at the target",
         [] {
             ASSERT_EQ(mkfifo("pipe", 0644), 0);
             fs::create_symlink("pipe", "out.rom");
         },
         AtName::Follow, false, ""},
#endif
        {"a folder at the target", [] { fs::create_directory("out.rom"); }, AtName::Follow, false, ""},
        {"a folder at the target, replaced", [] { fs::create_directory("out.rom"); }, AtName::Replace, false, ""},
    };
    const std::string victim = "the bytes no write may touch\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::WorkDir dir;
        testkit::spit("victim.txt", victim);
        c.plant();
        const bool followed_link = fs::is_symlink(fs::symlink_status("out.rom")) && fs::is_regular_file("out.rom") &&
                                   c.at_name == AtName::Follow;
        const Bytes data = {'n', 'e', 'w'};
        EXPECT_EQ(replace_file("out.rom", data, c.at_name, Flush::ToDisk), c.written);
        if (c.written && !followed_link) {
            const Bytes got = testkit::slurp("out.rom");
            EXPECT_EQ(std::string(got.begin(), got.end()), c.out_text);
            EXPECT_FALSE(fs::is_symlink(fs::symlink_status("out.rom")));
        }
        const Bytes v = testkit::slurp(followed_link ? "out.rom" : "victim.txt");
        // A followed link writes the file it names; nothing else writes it.
        EXPECT_EQ(std::string(v.begin(), v.end()), followed_link ? "new" : victim);
        if (followed_link) {
            EXPECT_TRUE(fs::is_symlink(fs::symlink_status("out.rom")));
        }
        EXPECT_FALSE(fs::exists("made-by-link"));
        // The temporary file is gone; a planted link at the old name is left as it was.
        for (const auto& entry : fs::directory_iterator("."))
            EXPECT_EQ(entry.path().extension().string() == ".tmp" && entry.path().filename() != pid_name, false)
                << entry.path();
    }
}

}  // namespace
