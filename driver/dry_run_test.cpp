// /dry through the real binary: the image, the folder and the temporary
// folder stay as they were, and the report says what the same run then
// does: its exit status, the image's digest after it, the member changes
// and the files it writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "common/platform.hpp"
#include "common/sha256.hpp"
#include "testkit/extract_kit.hpp"
#include "testkit/json_schema.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

// Every file of a folder and its digest.
std::map<std::string, std::string> folder_state(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().string()] = sha256_hex(testkit::slurp(entry.path().string()));
    return files;
}

// The "change" values of a dry run's document, in order.
std::vector<std::string> changes(const std::string& document) {
    std::vector<std::string> found;
    for (std::size_t at = document.find("\"change\""); at != std::string::npos;
         at = document.find("\"change\"", at + 1))
        found.push_back(testkit::json_field(document, "change", at));
    return found;
}

struct DryCase {
    const char* what;
    std::vector<std::string> args;  // after the image
    std::vector<std::string> changes;
    int status;
    std::string file = {};               // a file the run writes
    std::function<void()> prepare = {};  // what stands in the folder before the runs
    bool folder_read_only = false;       // the runs, as a user who may write the image but not the folder
};

namespace fs = std::filesystem;

// Runs the tool, as a user other than root when `other_user` (files modes bind root not).
testkit::RunResult run_as(bool other_user, std::vector<std::string> args, const testkit::RunOptions& options) {
    if (!other_user || !testkit::running_as_root()) return testkit::run_tool(args, options);
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", MOZAIK32_BINARY});
    return testkit::run_program(*testkit::find_on_path("setpriv"), args, options);
}

TEST(DryRun, ChangesNothingAndSaysWhatTheRunThenDoes) {
    const std::vector<DryCase> cases = {
        {"an add", {"/fnt0", "font.bin"}, {"added"}, 0, "bios.rom"},
        {"an add packed by /best", {"/fnt0", "font.bin", "/best"}, {"added"}, 0, "bios.rom"},
        {"a newer build replaces a VGA ROM", {"/vga", "vga_new.rom"}, {"replaced"}, 0},
        {"a release closes its gap", {"/vga", "release", "slot=1"}, {"moved", "moved", "removed"}, 0},
        {"the same ROM under another kind is an add and a removal", {"/pci", "vga.rom"}, {"added", "removed"}, 0},
        {"a top microcode block", {"/NC_CPUCODE", "ucode.exe"}, {}, 0, "NCPUCODE.BIN"},
        {"an empty microcode file leaves the folder's NCPUCODE.BIN", {"/NC_CPUCODE", "empty.exe"}, {}, 0},
        {"a refused add under /err", {"/fnt0", "font.bin", "/pci", "table.bin", "/err"}, {}, 1},
        {"an extract", {"/pci", "extract", "slot=A", "to=pci_a.rom"}, {}, 0, "pci_a.rom"},
        {"an extract into a folder that is not there fails as the run does",
         {"/pci", "extract", "slot=A", "to=nowhere/pci_a.rom", "/err"},
         {},
         1},
        {"a folder where the work archive goes",
         {"/fnt0", "font.bin"},
         {},
         1,
         {},
         [] {
             fs::remove("bios.rom");
             fs::create_directories("bios.rom/inside");
         }},
        {"a folder that takes no new file", {"/fnt0", "font.bin"}, {}, 1, {}, {}, true},
        {"an extract into a folder that takes no new file",
         {"/pci", "extract", "slot=A", "to=pci_a.rom"},
         {},
         1,
         {},
         {},
         true},
        {"a release in a folder that takes no journal", {"/vga", "release", "slot=1"}, {}, 1, {}, {}, true},
    };
    std::vector<std::string> documents;
    for (const DryCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.folder_read_only &&
            (platform::kWindows || (testkit::running_as_root() && !testkit::find_on_path("setpriv"))))
            continue;  // no folder that binds this user
        testkit::WorkDir dir;
        ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--parts", "."}).status, 0);
        ASSERT_EQ(testkit::run_tool({"img.bin", "/vga", "vga.rom"}).status, 0);  // the ROM vga_new.rom replaces
        testkit::spit("NCPUCODE.BIN", std::string("from an earlier run"));
        testkit::spit("empty.exe", std::string());
        std::filesystem::create_directory("tmp");
        testkit::RunOptions private_tmp;
        const std::string tmp = dir.path() + "/tmp";
        private_tmp.env = {{"TMPDIR", tmp}, {"TMP", tmp}, {"TEMP", tmp}};  // as Linux and Windows look for it

        std::vector<std::string> args = {"img.bin"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("/dry");
        if (c.prepare) c.prepare();
        if (c.folder_read_only) {
            fs::permissions("tmp", fs::perms::all);
            fs::permissions("img.bin", fs::perms::all);
            fs::permissions(".", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        }
        const auto before = folder_state(".");
        const testkit::RunResult text = run_as(c.folder_read_only, args, private_tmp);
        args.push_back("/json");
        const testkit::RunResult json = run_as(c.folder_read_only, args, private_tmp);
        EXPECT_EQ(folder_state("."), before);
        EXPECT_TRUE(std::filesystem::is_empty("tmp")) << "the private folder is left behind";
        EXPECT_NE(text.out.find("Dry run: nothing was written"), std::string::npos) << text.out;
        EXPECT_NE(text.out.find("would end with status " + std::to_string(c.status)), std::string::npos) << text.out;
        EXPECT_EQ(text.status, c.status);
        EXPECT_EQ(json.status, c.status);
        EXPECT_EQ(changes(json.out), c.changes) << json.out;
        // A status of 1 comes with its reasons, 0 with none.
        EXPECT_EQ(json.out.find("\"failures\": []") == std::string::npos, c.status == 1) << json.out;
        if (!c.file.empty()) {
            EXPECT_EQ(testkit::json_field(json.out, "name", json.out.find("\"files\"")), c.file);
        }
        documents.push_back(json.out);

        // The same run for real.
        args.resize(args.size() - 2);
        const testkit::RunResult real = run_as(c.folder_read_only, args, {});
        fs::permissions(".", fs::perms::all);
        EXPECT_EQ(real.status, c.status) << real.out << real.err;
        EXPECT_EQ(sha256_hex(testkit::slurp("img.bin")), testkit::json_field(json.out, "sha256_after"));
        EXPECT_EQ(testkit::json_field(json.out, "image_written"),
                  c.status == 0 && c.file != "pci_a.rom" ? "true" : "false");
        if (!c.file.empty()) {
            EXPECT_TRUE(std::filesystem::exists(c.file));
        }
        EXPECT_FALSE(fs::exists("img.bin.journal"));
    }
    MOZAIK_LINUX_ONLY("Python's jsonschema");
    testkit::WorkDir dir;
    const std::optional<std::string> errors = testkit::schema_errors(documents);
    MOZAIK_NEEDS(errors, "/usr/bin/python3 with jsonschema missing (make deps installs python3-jsonschema)");
    EXPECT_EQ(*errors, "");
}

// "/dry", and "/json" with it, stand anywhere, also first in the _last
// form; a /json that gives no document ends with status 1.
TEST(DryRun, WordsThatStandAnywhere) {
    testkit::WorkDir dir;
    ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--parts", "."}).status, 0);
    const auto before = testkit::slurp("img.bin");
    const struct {
        std::vector<std::string> args;
        bool last_form;
        int status;
        const char* out_has;  // nullptr: nothing on standard output
    } rows[] = {
        {{"img.bin", "/dry", "/fnt0", "font.bin"}, false, 0, "  added     FNT0 ROM"},
        {{"/DRY", "/fnt0", "font.bin", "/Json"}, true, 0, "\"change\": \"added\""},
        {{"img.bin", "/fnt0", "font.bin", "/json"}, false, 1, nullptr},
        {{"nothere.bin", "/json"}, false, 1, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[1]);
        testkit::RunOptions options;
        if (row.last_form) options.env = {{"_last", "img"}};
        const testkit::RunResult r = testkit::run_tool(row.args, options);
        EXPECT_EQ(r.status, row.status) << r.err;
        if (row.out_has) {
            EXPECT_NE(r.out.find(row.out_has), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(r.out, "");
        }
        EXPECT_TRUE(testkit::slurp("img.bin") == before);
    }
}

}  // namespace
