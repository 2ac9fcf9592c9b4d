// /dry through the real binary: the image, the folder and the temporary
// folder stay as they were, and the report says what the same run then
// does: its exit status, the image's digest after it, the member changes
// and the files it writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "common/sha256.hpp"
#include "testkit/json_schema.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"
#include "testkit/linux_only.hpp"

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
    for (std::size_t at = document.find("\"change\""); at != std::string::npos; at = document.find("\"change\"", at + 1))
        found.push_back(testkit::json_field(document, "change", at));
    return found;
}

struct DryCase {
    const char* what;
    std::vector<std::string> args;  // after the image
    std::vector<std::string> changes;
    int status;
    std::string file = {};  // a file the run writes
};

TEST(DryRun, ChangesNothingAndSaysWhatTheRunThenDoes) {
    const std::vector<DryCase> cases = {
        {"an add", {"/fnt0", "font.bin"}, {"added"}, 0, "bios.rom"},
        {"a newer build replaces a VGA ROM", {"/vga", "vga_new.rom"}, {"replaced"}, 0},
        {"a release closes its gap", {"/vga", "release", "slot=1"}, {"moved", "moved", "removed"}, 0},
        {"a top microcode block", {"/NC_CPUCODE", "ucode.exe"}, {}, 0, "NCPUCODE.BIN"},
        {"an empty microcode file leaves the folder's NCPUCODE.BIN", {"/NC_CPUCODE", "empty.exe"}, {}, 0},
        {"a refused add under /err", {"/fnt0", "font.bin", "/pci", "table.bin", "/err"}, {}, 1},
        {"an extract", {"/pci", "extract", "slot=A", "to=pci_a.rom"}, {}, 0, "pci_a.rom"},
    };
    std::vector<std::string> documents;
    for (const DryCase& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::WorkDir dir;
        ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--parts", "."}).status, 0);
        ASSERT_EQ(testkit::run_tool({"img.bin", "/vga", "vga.rom"}).status, 0);  // the ROM vga_new.rom replaces
        testkit::spit("NCPUCODE.BIN", std::string("from an earlier run"));
        testkit::spit("empty.exe", std::string());
        std::filesystem::create_directory("tmp");
        testkit::RunOptions private_tmp;
        private_tmp.env = {{"TMPDIR", dir.path() + "/tmp"}};
        const auto before = folder_state(".");

        std::vector<std::string> args = {"img.bin"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("/dry");
        const testkit::RunResult text = testkit::run_tool(args, private_tmp);
        args.push_back("/json");
        const testkit::RunResult json = testkit::run_tool(args, private_tmp);
        EXPECT_EQ(folder_state("."), before);
        EXPECT_TRUE(std::filesystem::is_empty("tmp")) << "the private folder is left behind";
        EXPECT_NE(text.out.find("Dry run: nothing was written"), std::string::npos) << text.out;
        EXPECT_NE(text.out.find("would end with status " + std::to_string(c.status)), std::string::npos) << text.out;
        EXPECT_EQ(text.status, c.status);
        EXPECT_EQ(json.status, c.status);
        EXPECT_EQ(changes(json.out), c.changes) << json.out;
        if (!c.file.empty()) {
            EXPECT_EQ(testkit::json_field(json.out, "name", json.out.find("\"files\"")), c.file);
        }
        documents.push_back(json.out);

        // The same run for real.
        args.resize(args.size() - 2);
        const testkit::RunResult real = testkit::run_tool(args);
        EXPECT_EQ(real.status, c.status);
        EXPECT_EQ(sha256_hex(testkit::slurp("img.bin")), testkit::json_field(json.out, "sha256_after"));
        EXPECT_EQ(testkit::json_field(json.out, "image_written"), c.status == 0 && c.file != "pci_a.rom" ? "true" : "false");
        if (!c.file.empty()) {
            EXPECT_TRUE(std::filesystem::exists(c.file));
        }
    }
    MOZAIK_LINUX_ONLY("Python's jsonschema");
    const std::optional<std::string> errors = testkit::schema_errors(documents);
    if (!errors) GTEST_SKIP() << "/usr/bin/python3 with jsonschema missing (make deps installs python3-jsonschema)";
    EXPECT_EQ(*errors, "");
}

}  // namespace
