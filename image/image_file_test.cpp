// The image's lock between runs, the journal a stopped save leaves and what
// the next run makes of it, and a save that keeps the file the user's.
#include "image/image_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "common/console.hpp"
#include "common/fatal.hpp"
#include "image/bios_image.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/workdir.hpp"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using platform::Lock;
constexpr std::chrono::milliseconds kShortWait{60};

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(ImageLock, ReadersShareAndAWriterIsAlone) {
    const struct {
        Lock held, wanted;
        LockOutcome outcome;
    } rows[] = {
        {Lock::Shared, Lock::Shared, LockOutcome::Locked},
        {Lock::Shared, Lock::Exclusive, LockOutcome::InUse},
        {Lock::Exclusive, Lock::Shared, LockOutcome::InUse},
        {Lock::Exclusive, Lock::Exclusive, LockOutcome::InUse},
    };
    testkit::WorkDir dir;
    testkit::spit("img.bin", Bytes(0x20000, 0xFF));
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(static_cast<int>(row.held)) + " then " +
                     std::to_string(static_cast<int>(row.wanted)));
        ImageFile first, second;
        ASSERT_EQ(lock_image("img.bin", row.held, kShortWait, first), LockOutcome::Locked);
        console::Capture cap;
        EXPECT_EQ(lock_image("img.bin", row.wanted, kShortWait, second), row.outcome);
        // A run that must wait says so once, however long it waits.
        EXPECT_EQ(count(cap.err(), "img.bin is in use by another run; waiting"),
                  row.outcome == LockOutcome::InUse ? 1u : 0u)
            << cap.err();
    }
    // Released with its run: the next run takes it at once.
    {
        ImageFile alone;
        EXPECT_EQ(lock_image("img.bin", Lock::Exclusive, kShortWait, alone), LockOutcome::Locked);
    }
    // The run it waited for renames a new image into place, then ends: the
    // waiting run locks the new file, not the one it first opened. (Windows
    // renames over no file that is open.)
    if (!platform::kWindows) {
        auto holder = std::make_unique<ImageFile>();
        ASSERT_EQ(lock_image("img.bin", Lock::Exclusive, kShortWait, *holder), LockOutcome::Locked);
        testkit::spit("new.bin", Bytes(0x20000, 0x11));
        std::thread other([&holder] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            fs::rename("new.bin", "img.bin");
            holder.reset();
        });
        ImageFile waiting;
        EXPECT_EQ(lock_image("img.bin", Lock::Exclusive, std::chrono::milliseconds(5000), waiting),
                  LockOutcome::Locked);
        other.join();
        EXPECT_TRUE(platform::same_file(waiting.handle, "img.bin"));
    }
    ImageFile again;
    EXPECT_EQ(lock_image("img.bin", Lock::Exclusive, kShortWait, again), LockOutcome::Locked);
    ImageFile none;
    EXPECT_EQ(lock_image("gone.bin", Lock::Shared, kShortWait, none), LockOutcome::NotFound);
    fs::create_directory("folder.bin");
    EXPECT_EQ(lock_image("folder.bin", Lock::Shared, kShortWait, none), LockOutcome::NotFound);
}

// An image of 128 KB and what a save makes of it: a few runs of changed
// bytes apart, and one long one (a gap closed).
Bytes old_image() {
    Bytes b(0x20000);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    return b;
}

Bytes new_image() {
    Bytes b = old_image();
    for (std::size_t i = 0x100; i < 0x110; ++i) b[i] ^= 0x5A;
    for (std::size_t i = 0x8000; i < 0x12000; ++i) b[i] = b[i + 0x300];
    b[0x1FFFE] ^= 1;
    return b;
}

struct JournalCase {
    const char* what;
    std::function<Bytes()> on_disk;  // the image the stopped save left
    std::function<Bytes()> journal;  // beside it
    Bytes expected;                  // after the next run opened it
    const char* says;
};

TEST(ImageJournal, TheNextRunRestoresOrKeepsTheImageWhole) {
    const Bytes before = old_image(), after = new_image();
    const Bytes journal = journal_bytes(before, after);
    Bytes half = before;  // the first two ranges written, the last not
    std::copy(after.begin(), after.begin() + 0x10000, half.begin());
    Bytes other = before;
    other[0x40] ^= 0xFF;
    const std::vector<JournalCase> cases = {
        {"stopped while writing the image", [&] { return half; }, [&] { return journal; }, before,
         "img.bin: restored as it was before a run that was stopped while saving it.\n"},
        {"stopped before writing the image", [&] { return before; }, [&] { return journal; }, before,
         "img.bin: a stopped run left it whole; img.bin.journal removed.\n"},
        {"stopped before removing the journal", [&] { return after; }, [&] { return journal; }, after,
         "img.bin: a stopped run left it whole; img.bin.journal removed.\n"},
        {"stopped while writing the journal", [&] { return before; },
         [&] { return Bytes(journal.begin(), journal.end() - 9); }, before,
         "img.bin: a stopped run left it whole; img.bin.journal removed.\n"},
        {"a journal with a damaged byte", [&] { return before; },
         [&] {
             Bytes j = journal;
             j[40] ^= 1;
             return j;
         },
         before, "img.bin: a stopped run left it whole; img.bin.journal removed.\n"},
        {"the image copied over since", [&] { return other; }, [&] { return journal; }, other,
         "img.bin: img.bin.journal is stale; the image is kept as it is.\n"},
        {"an image of another size now", [&] { return Bytes(0x10000, 0xFF); }, [&] { return journal; },
         Bytes(0x10000, 0xFF), "img.bin: a stopped run left it whole; img.bin.journal removed.\n"},
    };
    for (const JournalCase& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::WorkDir dir;
        testkit::spit("img.bin", c.on_disk());
        testkit::spit("img.bin.journal", c.journal());
        console::Capture cap;
        ImageFile file;
        // A reader too restores: it takes the image alone for that.
        ASSERT_EQ(lock_image("img.bin", Lock::Shared, kShortWait, file), LockOutcome::Locked);
        EXPECT_TRUE(file.exclusive);
        EXPECT_TRUE(testkit::slurp("img.bin") == c.expected);
        EXPECT_FALSE(fs::exists("img.bin.journal"));
        EXPECT_NE(cap.err().find(c.says), std::string::npos) << cap.err();
        EXPECT_EQ(cap.out(), "");
    }
}

// A journal left by an earlier run is read with the digest it was made with.
TEST(ImageJournal, DigestKeepsItsValues) {
    const std::pair<std::size_t, std::uint64_t> cases[] = {{0, 0x33AAF70BB6F8CFAEu},
                                                           {5, 0x7C679961C8BDBD96u},
                                                           {8, 0xB40F751919A0F7F4u},
                                                           {13, 0xAAD40E1707AED192u},
                                                           {4096, 0xF1A15C4DA2AFFBD9u}};
    for (const auto& [size, digest] : cases) {
        Bytes data(size);
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 1);
        EXPECT_EQ(journal_digest(data), digest) << size << " bytes";
    }
}

// The save writes in place: the mode, a symbolic link to the image and a
// hard link stay, and no journal is left; without its lock it writes nothing.
TEST(ImageJournal, ASaveKeepsTheUsersFile) {
    testkit::WorkDir dir;
    testkit::spit("img.bin", old_image());
    std::optional<BiosImage> image;
    {
        ImageFile file;
        ASSERT_EQ(lock_image("img.bin", Lock::Shared, kShortWait, file), LockOutcome::Locked);
        image = open_image("img.bin").image;
        ASSERT_TRUE(image);
        image->bytes = new_image();
        EXPECT_THROW(save_image(*image, file), FatalError);  // a reader's lock
        EXPECT_TRUE(testkit::slurp("img.bin") == old_image());
    }
    const bool links = !platform::kWindows;
    if (links) {
        fs::permissions("img.bin", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        fs::create_hard_link("img.bin", "hard.bin");
        fs::create_directory("sub");
        fs::create_symlink("../img.bin", "sub/link.bin");
        image->path = "sub/link.bin";
    }
    ImageFile file;
    ASSERT_EQ(lock_image(image->path, Lock::Exclusive, kShortWait, file), LockOutcome::Locked);
    save_image(*image, file);
    EXPECT_TRUE(testkit::slurp("img.bin") == new_image());
    EXPECT_FALSE(fs::exists("img.bin.journal"));
    EXPECT_FALSE(fs::exists("sub/link.bin.journal"));
    if (links) {
        EXPECT_TRUE(fs::is_symlink("sub/link.bin"));
        EXPECT_TRUE(testkit::slurp("hard.bin") == new_image());
        EXPECT_EQ(fs::status("img.bin").permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    }
}

}  // namespace
