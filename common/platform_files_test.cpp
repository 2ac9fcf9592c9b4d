// The file calls the journal and the lock stand on: a file's identity and
// facts, reads through a handle, a new file no wider than its model, and a
// lock that tells a busy file from one that takes no lock.
#include "common/platform.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "testkit/workdir.hpp"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// The handle keeps reading the file it opened, whatever the name leads to since.
TEST(PlatformFiles, ReadAllReadsTheHeldFileWithinItsLimit) {
    testkit::WorkDir dir;
    testkit::spit("a.bin", Bytes(10, 0xAA));
    testkit::spit("b.bin", Bytes(12, 0xBB));
    const platform::FileHandle held = platform::open_existing("a.bin", false);
    ASSERT_TRUE(held.is_open());
    if (!platform::kWindows) fs::rename("b.bin", "a.bin");  // Windows renames over no open file
    EXPECT_EQ(platform::read_all(held, 10), Bytes(10, 0xAA));
    EXPECT_EQ(platform::read_all(held, 9), std::nullopt);
    std::uint8_t head[4] = {};
    EXPECT_EQ(platform::read_at(held, 8, head), std::optional<std::size_t>(2));
    EXPECT_EQ(platform::facts(held)->size, 10u);
    EXPECT_EQ(platform::same_file(held, "a.bin"), platform::kWindows);
}

TEST(PlatformFiles, OneIdentityForEveryNameOfAFile) {
    if (platform::kWindows) GTEST_SKIP() << "under Windows: needs symbolic links";
    testkit::WorkDir dir;
    testkit::spit("img.bin", Bytes(4, 1));
    testkit::spit("copy.bin", Bytes(4, 1));
    fs::create_hard_link("img.bin", "hl.bin");
    fs::create_symlink("img.bin", "sym.bin");
    const platform::FileHandle held = platform::open_existing("img.bin", false);
    const std::optional<platform::FileFacts> f = platform::facts(held);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->links, 2u);
    EXPECT_TRUE(f->regular);
    EXPECT_EQ(platform::name_facts("hl.bin")->id, f->id);
    EXPECT_FALSE(platform::name_facts("copy.bin")->id == f->id);
    EXPECT_TRUE(platform::name_facts("sym.bin")->link);
    EXPECT_FALSE(platform::name_facts("sym.bin")->id == f->id);
    EXPECT_FALSE(platform::name_facts("gone.bin"));
    EXPECT_FALSE(platform::open_no_follow("sym.bin").is_open());
    EXPECT_TRUE(platform::open_no_follow("hl.bin").is_open());
}

TEST(PlatformFiles, ANewFileIsNoWiderThanItsModel) {
    if (platform::kWindows) GTEST_SKIP() << "under Windows: needs file modes";
    const struct {
        fs::perms model, made;
    } rows[] = {
        {fs::perms::owner_read | fs::perms::owner_write, fs::perms::owner_read | fs::perms::owner_write},
        {fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
         fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read},
        {fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_all | fs::perms::others_all,
         fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.model));
        testkit::WorkDir dir;
        testkit::spit("img.bin", Bytes(4, 1));
        fs::permissions("img.bin", row.model);
        const platform::FileHandle model = platform::open_existing("img.bin", false);
        const platform::FileHandle made = platform::create_new_like("img.bin.journal", model);
        ASSERT_TRUE(made.is_open());
        // The umask narrows it further: 022 is the usual one.
        EXPECT_EQ(fs::status("img.bin.journal").permissions() & ~fs::perms::group_write & ~fs::perms::others_write &
                      fs::perms::all,
                  row.made & fs::perms::all)
            << static_cast<int>(fs::status("img.bin.journal").permissions());
        // Never made through a link, dangling or not.
        fs::create_symlink("planted.bin", "link.journal");
        EXPECT_FALSE(platform::create_new_like("link.journal", model).is_open());
        EXPECT_FALSE(fs::exists("planted.bin"));
        EXPECT_FALSE(platform::create_new_like("img.bin.journal", model).is_open());
    }
}

TEST(PlatformFiles, ALockHeldElsewhereIsBusy) {
    testkit::WorkDir dir;
    testkit::spit("img.bin", Bytes(4, 1));
    const platform::FileHandle first = platform::open_existing("img.bin", true);
    const platform::FileHandle second = platform::open_existing("img.bin", true);
    EXPECT_EQ(platform::try_lock(first, platform::Lock::Shared), platform::LockTry::Taken);
    EXPECT_EQ(platform::try_lock(second, platform::Lock::Shared), platform::LockTry::Taken);
    platform::unlock(second);
    EXPECT_EQ(platform::try_lock(second, platform::Lock::Exclusive), platform::LockTry::Busy);
    platform::unlock(first);
    EXPECT_EQ(platform::try_lock(second, platform::Lock::Exclusive), platform::LockTry::Taken);
}

}  // namespace
