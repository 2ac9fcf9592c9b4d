// The folder calls of the platform: a file made in a folder held open is
// made new or not at all (never over a file; the links planted in a folder
// are the attack table's, driver/image_folder_test.cpp), and a
// file opened inside a folder is reached through folders only, no link
// along the way.
#include "common/platform.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "testkit/linux_only.hpp"
#include "testkit/workdir.hpp"

namespace {

namespace fs = std::filesystem;

TEST(Platform, CreateInMakesANewFileOrNone) {
    testkit::WorkDir work;
    fs::create_directory("d");
    const platform::Folder folder = platform::open_folder("d");
    ASSERT_TRUE(folder.is_open());
    {
        const platform::FileHandle made = platform::create_in(folder, "new.bin");
        ASSERT_TRUE(made.is_open());
        const std::uint8_t bytes[] = {1, 2, 3};
        EXPECT_TRUE(platform::write_all(made, bytes));
        EXPECT_TRUE(platform::sync(made));
    }
    EXPECT_EQ(testkit::slurp("d/new.bin"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(platform::sync(folder));
    EXPECT_FALSE(platform::create_in(folder, "new.bin").is_open()) << "a file stands there";
    EXPECT_FALSE(platform::create_in(folder, "a/b").is_open()) << "one part only";
    EXPECT_FALSE(platform::create_in(folder, "").is_open());
    EXPECT_EQ(testkit::slurp("d/new.bin"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(platform::open_folder("d/new.bin").is_open()) << "a file is no folder";
    EXPECT_FALSE(platform::open_folder("none").is_open());
}

TEST(Platform, OpenInReachesFilesInsideTheFolderOnly) {
    MOZAIK_LINUX_ONLY("symbolic links and FIFOs");
    testkit::WorkDir work;
    fs::create_directories("d/sub");
    fs::create_directory("elsewhere");
    testkit::spit("d/sub/in.bin", std::string("IN"));
    testkit::spit("elsewhere/out.bin", std::string("OUT"));
    fs::create_symlink("../elsewhere/out.bin", "d/link.bin");
    fs::create_directory_symlink("../elsewhere", "d/away");
#ifndef _WIN32
    ASSERT_EQ(::mkfifo("d/pipe", 0600), 0);
#endif
    const platform::Folder folder = platform::open_folder("d");
    struct Case {
        const char* path;
        platform::OpenIn status;
    };
    const Case cases[] = {
        {"sub/in.bin", platform::OpenIn::Opened},   {"link.bin", platform::OpenIn::Link},
        {"away/out.bin", platform::OpenIn::Link},   {"pipe", platform::OpenIn::NotRegular},
        {"sub", platform::OpenIn::NotRegular},      {"sub/in.bin/x", platform::OpenIn::NotRegular},
        {"missing.bin", platform::OpenIn::Missing}, {"sub//in.bin", platform::OpenIn::NotRegular},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        platform::OpenedIn opened = platform::open_in(folder, c.path);
        EXPECT_EQ(opened.status, c.status);
        EXPECT_EQ(opened.file.is_open(), c.status == platform::OpenIn::Opened);
        if (!opened.file.is_open()) continue;
        EXPECT_EQ(platform::file_size(opened.file), 2u);
        std::uint8_t buf[8];
        EXPECT_EQ(platform::read_some(opened.file, buf), 2u);
        EXPECT_EQ(platform::read_some(opened.file, buf), 0u);
    }
}

}  // namespace
