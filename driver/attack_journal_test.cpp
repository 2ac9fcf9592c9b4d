// Attacks on the journal, the lock and the opening, through the real binary,
// one row each: hard links, journals that are not the image's own (another
// owner, a write bit for others, a link, another file's), a link planted at
// the journal's name, a file system without locks (strace's fault
// injection at flock), the journal's mode and a half-saved /diff OTHER.
// Each row asserts what the tool said, its status, and that nothing in the
// folder changed but the files the row names.
#include <gtest/gtest.h>

// Owners, modes, FIFOs and strace's fault injection are POSIX's: under
// Windows these rows have no counterpart to plant, and the same code paths
// (a journal made with CREATE_NEW, found by the file's index) stand alone.
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "common/console.hpp"
#include "common/fatal.hpp"
#include "common/platform.hpp"
#include "image/image_file.hpp"
#include "testkit/extract_kit.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A release (the members behind it move down) and two adds: several ranges saved.
const std::vector<std::string> kChange = {"img.bin",  "/vga",  "release",   "slot=1", "/fnt0",
                                          "font.bin", "/oem1", "table.bin", "/err"};
constexpr unsigned kNobody = 65534;

std::vector<std::string> change_of(const std::string& image) {
    std::vector<std::string> args = kChange;
    args[0] = image;
    return args;
}

// Everything under the folder: a file's bytes, a link's target, a folder.
std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> all;
    for (const auto& e : fs::recursive_directory_iterator(".")) {
        const std::string name = e.path().lexically_relative(".").string();
        if (e.is_symlink())
            all[name] = "link " + fs::read_symlink(e.path()).string();
        else if (e.is_directory())
            all[name] = "folder";
        else if (!e.is_regular_file())
            all[name] = "special";  // a pipe: never opened here
        else {
            const Bytes b = testkit::slurp(e.path().string());
            all[name] = std::string(b.begin(), b.end());
        }
    }
    return all;
}

// One of the tool's messages as the console channel shows it: laid out for 80 columns.
std::string console_line(const std::string& text) {
    return console::fitted(text) + '\n';
}

platform::FileId id_of(const std::string& path) {
    return platform::name_facts(path)->id;
}

unsigned mode_of(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

unsigned owner_of(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_uid;
}

struct Folder {
    Bytes before, after;  // img.bin as made, and as kChange leaves it
    std::string strace;   // empty: none on this host
};

// mkimage's image with a VGA and a PCI ROM in the folder as img.bin, and
// what kChange makes of it (img.bin is `before` again).
Folder make_folder() {
    Folder f;
    EXPECT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--parts", "."}).status, 0);
    EXPECT_EQ(testkit::run_tool({"img.bin", "/vga", "vga.rom", "/pci", "pci.rom", "/err"}).status, 0);
    f.before = testkit::slurp("img.bin");
    EXPECT_EQ(testkit::run_tool(kChange).status, 0);
    f.after = testkit::slurp("img.bin");
    testkit::spit("img.bin", f.before);
    f.strace = testkit::find_on_path("strace").value_or("");
    return f;
}

testkit::RunResult under_strace(const Folder& f, const std::string& inject, const std::vector<std::string>& run) {
    std::vector<std::string> args = {"-f", "-o", "/dev/null", "-e", inject, MOZAIK32_BINARY};
    args.insert(args.end(), run.begin(), run.end());
    // LeakSanitizer cannot run under ptrace: a sanitized build's run under
    // strace would end with its fatal error after the tool's own words.
    testkit::RunOptions traced;
    traced.env.push_back({"ASAN_OPTIONS", "detect_leaks=0"});
    return testkit::run_program(f.strace, args, traced);
}

// kChange on `image`, killed at its `n`th pwrite64 (the first writes the
// journal, the next ones the image's ranges).
void stop_save(const Folder& f, const std::string& image, int n) {
    const testkit::RunResult r =
        under_strace(f, "inject=pwrite64:signal=KILL:when=" + std::to_string(n), change_of(image));
    ASSERT_EQ(r.status, -1) << r.out << r.err;
}

// kChange on img.bin stopped half-way through writing the image.
void half_save(const Folder& f) {
    stop_save(f, "img.bin", 3);
    const Bytes now = testkit::slurp("img.bin");
    ASSERT_TRUE(now != f.before && now != f.after) << "not half-saved";
    ASSERT_TRUE(fs::exists("img.bin.journal"));
}

// A journal that "restores" 16 bytes of the planter's choosing into a whole
// img.bin: it records img.bin's identity and digests recomputed from the
// format, as anyone who can read the image can make it.
Bytes forged_journal(const Folder& f, Bytes* planted = nullptr) {
    Bytes chosen = f.before, other = f.before;
    // Through iterators past a checked size: GCC 12's Release build warns
    // (-Wstringop-overflow, falsely) on indexing a copy it cannot size.
    if (chosen.size() < 0x110) return {};
    std::fill_n(chosen.begin() + 0x100, 16, std::uint8_t{0x41});
    std::fill_n(other.begin() + 0x100, 16, std::uint8_t{0x42});
    if (planted) *planted = chosen;
    return journal_bytes(chosen, other, id_of("img.bin"));
}

struct Attack {
    const char* what;
    std::function<void(const Folder&)> plant;
    std::vector<std::string> run;
    int status;
    std::string err;                           // the console channel, exactly
    std::set<std::string> changes;             // the only names that may differ after the run
    std::function<void(const Folder&)> check;  // the named files afterwards
    std::string inject = {};                   // strace's fault for the run itself
    bool root = false;                         // needs chown
};

TEST(AttackJournal, EachAttackFailsAndTouchesNothingElse) {
    if (platform::kWindows) GTEST_SKIP() << "under Windows: needs file modes, owners, links and strace";
    const std::string restored = "img.bin: restored as it was before a run that was stopped while saving it.\n";
    const std::vector<std::string> verify = {"img.bin", "/verify"};
    const auto image_is = [](const char* name, const Bytes Folder::*which) {
        return [name, which](const Folder& f) { EXPECT_TRUE(testkit::slurp(name) == f.*which) << name; };
    };
    const std::vector<Attack> rows = {
        {"a save stopped through img.bin, the next run through the hard link hl.bin restores it",
         [](const Folder& f) {
             fs::create_hard_link("img.bin", "hl.bin");
             half_save(f);
         },
         {"hl.bin", "/verify"},
         0,
         "hl.bin: restored as it was before a run that was stopped while saving it.\n",
         {"img.bin", "hl.bin", "img.bin.journal"},
         [](const Folder& f) {
             EXPECT_TRUE(testkit::slurp("img.bin") == f.before);
             EXPECT_FALSE(fs::exists("img.bin.journal"));
             // The next run through img.bin finds nothing to undo.
             const testkit::RunResult next = testkit::run_tool({"img.bin", "/verify"});
             EXPECT_EQ(next.status, 0);
             EXPECT_EQ(next.err, "");
             EXPECT_TRUE(testkit::slurp("img.bin") == f.before);
         }},
        {"the same, the run through hl.bin an add: the run through img.bin after it keeps the add",
         [](const Folder& f) {
             fs::create_hard_link("img.bin", "hl.bin");
             half_save(f);
         },
         {"hl.bin", "/oem1", "table.bin", "/err"},
         0,
         "hl.bin: restored as it was before a run that was stopped while saving it.\n",
         {"img.bin", "hl.bin", "img.bin.journal", "bios.rom"},
         [](const Folder& f) {
             const Bytes added = testkit::slurp("img.bin");
             EXPECT_FALSE(added == f.before);
             EXPECT_FALSE(fs::exists("img.bin.journal"));
             const testkit::RunResult next = testkit::run_tool({"img.bin", "/verify"});
             EXPECT_EQ(next.status, 0) << next.out;
             EXPECT_EQ(next.err, "");
             EXPECT_TRUE(testkit::slurp("img.bin") == added);
         }},
        {"a save through a name with a hard link in another folder is refused",
         [](const Folder&) {
             fs::create_directory("far");
             fs::create_hard_link("img.bin", "far/hl.bin");
         },
         kChange,
         1,
         "img.bin has a hard link in another folder; nothing changed\n",
         {},
         image_is("img.bin", &Folder::before)},
        {"a journal of another image in the folder is not taken for a hard-linked image's",
         [](const Folder& f) {
             fs::create_hard_link("img.bin", "hl.bin");
             fs::copy_file("img.bin", "other.bin");
             stop_save(f, "other.bin", 3);
             ASSERT_TRUE(fs::exists("other.bin.journal"));
         },
         verify,
         0,
         "",
         {},
         image_is("img.bin", &Folder::before)},
        {"control: a journal made by the image's owner (root) is restored, chosen bytes and all",
         [](const Folder& f) { testkit::spit("img.bin.journal", forged_journal(f)); },
         verify,
         1,
         restored,
         {"img.bin", "img.bin.journal"},
         [](const Folder& f) {
             Bytes planted;
             forged_journal(f, &planted);
             EXPECT_TRUE(testkit::slurp("img.bin") == planted);
         },
         "",
         true},
        {"a journal planted by user nobody, identity and digests right",
         [](const Folder& f) {
             testkit::spit("img.bin.journal", forged_journal(f));
             ASSERT_EQ(chown("img.bin.journal", kNobody, kNobody), 0);
         },
         verify,
         1,
         "img.bin.journal is not this image's own (owned by uid 65534); nothing changed\n",
         {},
         image_is("img.bin", &Folder::before),
         "",
         true},
        {"a journal of the image's owner that others may write",
         [](const Folder& f) {
             testkit::spit("img.bin.journal", forged_journal(f));
             fs::permissions("img.bin.journal", fs::perms::others_write, fs::perm_options::add);
         },
         kChange,
         1,
         "img.bin.journal is not this image's own (writable by others); nothing changed\n",
         {},
         image_is("img.bin", &Folder::before)},
        {"a journal its group may write",
         [](const Folder& f) {
             testkit::spit("img.bin.journal", forged_journal(f));
             fs::permissions("img.bin.journal", fs::perms::group_write, fs::perm_options::add);
         },
         verify,
         1,
         "img.bin.journal is not this image's own (writable by others); nothing changed\n",
         {},
         image_is("img.bin", &Folder::before)},
        {"a symbolic link at the journal's name, to a journal the owner made",
         [](const Folder& f) {
             fs::create_directory("sub");
             testkit::spit("sub/real.journal", forged_journal(f));
             fs::create_symlink("sub/real.journal", "img.bin.journal");
         },
         verify,
         1,
         "img.bin.journal is not this image's own (a link); nothing changed\n",
         {},
         image_is("img.bin", &Folder::before)},
        {"a dangling link at the journal's name when saving: nothing is written where it points",
         [](const Folder&) { fs::create_symlink("planted.bin", "img.bin.journal"); },
         kChange,
         1,
         "img.bin.journal is not this image's own (a link); nothing changed\n",
         {},
         [](const Folder& f) {
             EXPECT_FALSE(fs::exists("planted.bin"));
             EXPECT_TRUE(testkit::slurp("img.bin") == f.before);
         }},
        {"a journal made for another file: a copy of a half-saved image, the journal renamed beside it",
         [](const Folder& f) {
             half_save(f);
             fs::copy_file("img.bin", "copy.bin");
             fs::rename("img.bin.journal", "copy.bin.journal");
         },
         {"copy.bin", "/verify"},
         1,
         console_line("copy.bin.journal is not this image's own (made for another file); nothing changed"),
         {},
         {}},
        {"a folder at the journal's name",
         [](const Folder&) { fs::create_directories("img.bin.journal/inside"); },
         verify,
         1,
         "img.bin.journal is not this image's own (no regular file); nothing changed\n",
         {},
         {}},
        {"a pipe at the journal's name is not opened: no hang",
         [](const Folder&) { ASSERT_EQ(mkfifo("img.bin.journal", 0600), 0); },
         verify,
         1,
         "img.bin.journal is not this image's own (no regular file); nothing changed\n",
         {},
         {}},
        {"a pipe named *.journal beside a hard-linked image is passed over",
         [](const Folder&) {
             fs::create_hard_link("img.bin", "hl.bin");
             ASSERT_EQ(mkfifo("trap.journal", 0600), 0);
         },
         verify,
         0,
         "",
         {},
         {}},
        {"a journal left by the version before (no identity) after a power cut is restored",
         [](const Folder& f) {
             half_save(f);
             testkit::spit("img.bin.journal", journal_bytes(f.before, f.after));
         },
         verify,
         0,
         restored,
         {"img.bin", "img.bin.journal"},
         image_is("img.bin", &Folder::before)},
        {"flock fails with ENOLCK: said at once",
         {},
         kChange,
         1,
         "img.bin: this filesystem takes no lock; nothing changed\n",
         {},
         image_is("img.bin", &Folder::before),
         "inject=flock:error=ENOLCK"},
        {"flock fails with EOPNOTSUPP: a reader too",
         {},
         verify,
         1,
         "img.bin: this filesystem takes no lock; nothing changed\n",
         {},
         {},
         "inject=flock:error=EOPNOTSUPP"},
        {"the journal of a 0600 image is 0600: its old bytes are kept from other users",
         [](const Folder& f) {
             fs::permissions("img.bin", fs::perms::owner_read | fs::perms::owner_write);
             stop_save(f, "img.bin", 2);  // the journal written, the image not yet
             EXPECT_EQ(mode_of("img.bin.journal"), 0600u);
         },
         verify,
         0,
         "img.bin: a stopped run left it whole; img.bin.journal removed.\n",
         {"img.bin.journal"},
         image_is("img.bin", &Folder::before)},
        {"the journal of a 0640 image is 0640, of an image root saves for nobody nobody's, and restored",
         [](const Folder& f) {
             ASSERT_EQ(chown("img.bin", kNobody, kNobody), 0);
             fs::permissions("img.bin", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
             stop_save(f, "img.bin", 3);
             EXPECT_EQ(mode_of("img.bin.journal"), 0640u);
             EXPECT_EQ(owner_of("img.bin.journal"), kNobody);
         },
         verify,
         0,
         restored,
         {"img.bin", "img.bin.journal"},
         image_is("img.bin", &Folder::before),
         "",
         true},
        {"/diff of a half-saved OTHER restores it first, under its lock",
         [](const Folder& f) {
             fs::copy_file("img.bin", "other.bin");
             stop_save(f, "other.bin", 3);
             ASSERT_FALSE(testkit::slurp("other.bin") == f.before);
         },
         {"img.bin", "/diff", "other.bin"},
         0,
         "other.bin: restored as it was before a run that was stopped while saving it.\n",
         {"other.bin", "other.bin.journal"},
         image_is("other.bin", &Folder::before)},
        {"/diff of an OTHER with a journal planted by nobody",
         [](const Folder& f) {
             fs::copy_file("img.bin", "other.bin");
             Bytes chosen = f.before;
             chosen[0x100] ^= 0xFF;
             testkit::spit("other.bin.journal", journal_bytes(chosen, f.after, id_of("other.bin")));
             ASSERT_EQ(chown("other.bin.journal", kNobody, kNobody), 0);
         },
         {"img.bin", "/diff", "other.bin"},
         2,
         "other.bin.journal is not this image's own (owned by uid 65534); nothing changed\n",
         {},
         image_is("other.bin", &Folder::before),
         "",
         true},
    };
    for (const Attack& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.root && !testkit::running_as_root()) {
            std::printf("skipped (not root): %s\n", row.what);
            continue;
        }
        testkit::WorkDir dir;
        const Folder f = make_folder();
        if (f.strace.empty()) GTEST_SKIP() << "no strace (make deps installs it)";
        if (row.plant) row.plant(f);
        if (HasFatalFailure()) return;
        const std::map<std::string, std::string> was = snapshot();
        const auto start = std::chrono::steady_clock::now();
        const testkit::RunResult r =
            row.inject.empty() ? testkit::run_tool(row.run) : under_strace(f, row.inject, row.run);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(r.status, row.status) << r.out;
        EXPECT_EQ(r.err, row.err);
        const std::map<std::string, std::string> now = snapshot();
        for (const auto& [name, content] : was)
            if (!row.changes.contains(name)) {
                const auto it = now.find(name);
                EXPECT_TRUE(it != now.end() && it->second == content) << name << " changed";
            }
        for (const auto& [name, content] : now)
            if (!row.changes.contains(name)) {
                EXPECT_TRUE(was.contains(name)) << name << " made";
            }
        if (row.check) row.check(f);
    }
}

// A link planted at the journal's name after the run opened its image:
// the save fails, writes nothing where the link points, and leaves the link.
TEST(AttackJournal, ALinkPlantedDuringTheRunIsNeitherFollowedNorRemoved) {
    if (platform::kWindows) GTEST_SKIP() << "under Windows: needs symbolic links";
    testkit::WorkDir dir;
    const Folder f = make_folder();
    ImageFile file;
    ASSERT_EQ(lock_image("img.bin", platform::Lock::Exclusive, std::chrono::milliseconds(60), file),
              LockOutcome::Locked);
    OpenedImage opened = read_image(file, true);
    ASSERT_TRUE(opened.image);
    opened.image->bytes = f.after;
    fs::create_symlink("planted.bin", "img.bin.journal");
    console::Capture cap;
    EXPECT_THROW(save_image(*opened.image, file), FatalError);
    EXPECT_EQ(cap.err(),
              console_line("Can't write img.bin.journal, the journal that keeps img.bin whole while it is saved"));
    EXPECT_FALSE(fs::exists("planted.bin"));
    EXPECT_TRUE(fs::is_symlink("img.bin.journal"));
    EXPECT_TRUE(testkit::slurp("img.bin") == f.before);
}

}  // namespace

#endif  // _WIN32
