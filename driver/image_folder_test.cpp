// Images as folders through the real binary: /unpack then /pack gives the
// same bytes on every clean image of the test kit; edits, removed and added
// manifest lines give images /verify finds clean; faults write nothing;
// /diff names what differs and ends as diff and cmp do.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "common/sha256.hpp"
#include "testkit/components.hpp"
#include "testkit/corpus.hpp"
#include "testkit/group_runs.hpp"
#include "testkit/json_schema.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/microcode_builder.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The manifest's lines with `edit` applied to each (an empty result drops it).
void edit_manifest(const std::string& dir, const std::function<std::string(const std::string&)>& edit,
                   const std::string& append = {}) {
    std::istringstream in(read_text(dir + "/manifest.txt"));
    std::string out;
    for (std::string line; std::getline(in, line);)
        if (std::string e = edit(line); !e.empty()) out += e + "\n";
    testkit::spit(dir + "/manifest.txt", out + append);
}

// The content file of the first line that mentions `word`.
std::string file_of(const std::string& dir, const std::string& word) {
    std::istringstream in(read_text(dir + "/manifest.txt"));
    for (std::string line; std::getline(in, line);)
        if (!line.starts_with('#') && line.find(word) != std::string::npos) {
            std::istringstream w(line);
            std::string place, file;
            w >> place >> file;
            return dir + "/" + file;
        }
    ADD_FAILURE() << word << " is not in the manifest";
    return {};
}

// img.bin: a kit image with a VGA ROM, an OEM part and a 16-byte aligned
// /NoCompress part added; the banked one also with a ROM in its "*BT-VGA*"
// slot and a memory module in a "*NVDAMM*" slot made for it.
void make_image(const testkit::RunImage& base) {
    testkit::SyntheticImage img(static_cast<std::uint32_t>(base.bytes.size()));
    img.bytes = base.bytes;
    const bool banked = base.name.find("banked") != std::string::npos;
    if (banked) testkit::put_nvdamm_slot(img, 0xE90, 0x2000, 0x3000, 0x2000, std::string_view("NVMM\0FIRST", 10));
    testkit::spit("img.bin", img.bytes);
    testkit::spit("vga.rom", testkit::option_rom({}));
    testkit::spit("oem.bin", testkit::corpus(testkit::CorpusKind::Text, 3000, 6));
    testkit::spit("table.bin", testkit::corpus(testkit::CorpusKind::Code, 0x300, 7));
    ASSERT_EQ(testkit::run_tool({"img.bin", "/vga", "vga.rom", "/NoCompress", "table.bin", "/oem0", "oem.bin"}).status, 0);
    if (!banked) return;
    testkit::spit("boot.rom", testkit::option_rom({.size = 0x800, .build = 3}));
    testkit::spit("module.bin", Bytes{'N', 'V', 'M', 'M', 0, 'O', 'L', 'D'});
    ASSERT_EQ(testkit::run_tool({"img.bin", "/btvga", "boot.rom", "/NVMM", "module.bin"}).status, 0);
}

bool has_line(const std::string& dir, const std::string& place) {
    return read_text(dir + "/manifest.txt").find("\n" + place + " ") != std::string::npos;
}

TEST(ImageFolder, UnpackThenPackGivesTheSameBytesAndEditsGiveCleanImages) {
    testkit::WorkDir dir;
    for (const testkit::RunImage& base : testkit::run_images()) {
        SCOPED_TRACE(base.name);
        make_image(base);
        ASSERT_EQ(testkit::run_tool({"img.bin", "/verify"}).status, 0) << "a clean image to start from";
        fs::remove_all("d");
        ASSERT_EQ(testkit::run_tool({"img.bin", "/unpack", "d"}).status, 0);
        EXPECT_EQ(testkit::run_tool({"img.bin", "/unpack", "d"}).status, 1) << "a folder that is not empty";
        ASSERT_EQ(testkit::run_tool({"same.bin", "/pack", "d"}).status, 0);
        EXPECT_TRUE(testkit::slurp("same.bin") == testkit::slurp("img.bin"));
        // The manifest's SHA-256 is the content file's and the report's.
        const std::string json = testkit::run_tool({"img.bin", "/json"}).out;
        const std::string oem = file_of("d", "/oem0");
        const std::string manifest = read_text("d/manifest.txt");
        const std::string oem_line = manifest.substr(manifest.find(fs::path(oem).filename().string()));
        EXPECT_NE(oem_line.find(sha256_hex(testkit::slurp(oem))), std::string::npos);
        EXPECT_NE(json.find(sha256_hex(testkit::slurp(oem))), std::string::npos);

        struct Edit {
            const char* what;
            std::function<void()> apply;
            int status;           // of /pack
            const char* listed;   // a text /D shows, or must not show (`absent`); for a fault, what it says
            bool absent = false;
            const char* needs = "chain";  // the place the image must have for the row
        };
        const Edit edits[] = {
            {"an edited member", [] { testkit::spit(file_of("e", "/oem0"), testkit::corpus(testkit::CorpusKind::Text, 5000, 9)); }, 0,
             "01388h"},
            {"an edited 16-byte aligned member",
             [&] { testkit::spit(file_of("e", "/NoCompress"), testkit::corpus(testkit::CorpusKind::Code, 0x123, 3)); },
             0, "00123h"},
            {"a removed line", [] { edit_manifest("e", [](const std::string& l) { return l.find("/vga") != std::string::npos ? "" : l; }); },
             0, "VGA ROM", true},
            {"an added line",
             [] {
                 testkit::spit("e/added.bin", testkit::corpus(testkit::CorpusKind::Runs, 0x777, 4));
                 edit_manifest("e", [](const std::string& l) { return l; },
                               "chain added.bin /oem3 4033:0 -lh5- - - - - \"ADDED ONE.BIN\"\n");
             },
             0, "ADDED ONE.BIN"},
            {"a missing file", [] { fs::remove(file_of("e", "/oem0")); }, 1, "can't read"},
            {"a bad line", [] { edit_manifest("e", [](const std::string& l) { return l.starts_with("chain") ? l.substr(0, 40) : l; }); },
             1, "manifest line "},
            {"a deleted system BIOS line", [] {
                 edit_manifest("e", [](const std::string& l) { return l.starts_with("bios") ? "" : l; });
             }, 1, nullptr},
            {"an edited top block", [] { testkit::spit(file_of("e", "top_block"), testkit::corpus(testkit::CorpusKind::Code, 0x1400, 5)); },
             0, "(SP) NCPUCODE          01400h", false, "top"},
            {"a top block too big", [&] { testkit::spit(file_of("e", "top_block"), Bytes(base.bytes.size() / 2, 1)); }, 1,
             "the top block does not fit", false, "top"},
            {"a second top line", [] {
                 edit_manifest("e", [](const std::string& l) { return l.starts_with("top ") ? l + "\n" + l : l; });
             }, 1, "a second \"top\" line", false, "top"},
            {"an edited boot-block VGA ROM",
             [] { testkit::spit(file_of("e", "boot_vga"), testkit::option_rom({.size = 0xC00, .build = 4})); }, 0,
             "(BB) Compress BT-VGA   00C00h", false, "boot_vga"},
            {"a boot-block VGA file that is no ROM", [] { testkit::spit(file_of("e", "boot_vga"), Bytes(0x800, 0)); }, 1,
             "must begin with 55 AA", false, "boot_vga"},
            {"an edited memory module", [] { testkit::spit(file_of("e", "memory_module"), Bytes{'N', 'V', 'M', 'M', 0, 'N', 'E', 'W'}); },
             0, "NVMM NEW", false, "memory"},
            {"a memory module too long", [] { testkit::spit(file_of("e", "memory_module"), Bytes(0x1005, 0)); }, 1,
             "the memory-module slot overflows by 5 bytes", false, "memory"},
            {"too much for the chain",
             [&] { testkit::spit(file_of("e", "/oem0"), testkit::corpus(testkit::CorpusKind::Random, base.bytes.size(), 2)); }, 1,
             "the chain overflows its space by "},
        };
        for (const Edit& e : edits) {
            SCOPED_TRACE(e.what);
            if (!has_line("d", e.needs)) continue;
            fs::remove_all("e");
            fs::copy("d", "e");
            fs::remove("new.bin");
            e.apply();
            const testkit::RunResult r = testkit::run_tool({"new.bin", "/pack", "e"});
            EXPECT_EQ(r.status, e.status) << r.err;
            if (e.status != 0) {
                EXPECT_FALSE(fs::exists("new.bin")) << "nothing written";
                std::string said = r.err;  // the console channel wraps at 80 columns
                std::erase(said, '\n');
                EXPECT_NE(said.find("nothing was written"), std::string::npos) << r.err;
                if (e.listed) {
                    EXPECT_NE(said.find(e.listed), std::string::npos) << r.err;  // what to fix
                }
                continue;
            }
            EXPECT_EQ(testkit::run_tool({"new.bin", "/verify"}).status, 0) << testkit::run_tool({"new.bin", "/verify"}).out;
            EXPECT_EQ(testkit::run_tool({"new.bin", "/D"}).out.find(e.listed) == std::string::npos, e.absent);
            EXPECT_EQ(testkit::run_tool({"img.bin", "/diff", "new.bin"}).status, 1);
        }
        // A folder /unpack did not make.
        fs::create_directory("empty");
        EXPECT_NE(testkit::run_tool({"new.bin", "/pack", "empty"}).err.find("is no folder /unpack made"), std::string::npos);
    }
}

TEST(ImageFolder, DiffNamesWhatDiffersAndEndsAsCmpDoes) {
    testkit::WorkDir dir;
    make_image(testkit::run_images()[0]);
    ASSERT_EQ(testkit::run_tool({"img.bin", "/unpack", "d"}).status, 0);
    struct Case {
        const char* what;
        std::function<void()> make;  // writes other.bin
        int status;
        const char* said;  // in the JSON document
    };
    const auto pack_with = [](const std::function<void()>& edit) {
        fs::remove_all("e");
        fs::copy("d", "e");
        edit();
        ASSERT_EQ(testkit::run_tool({"other.bin", "/pack", "e"}).status, 0);
    };
    const Case cases[] = {
        {"identical", [] { fs::copy_file("img.bin", "other.bin", fs::copy_options::overwrite_existing); }, 0, "\"same\": true"},
        {"one member changed", [&] { pack_with([] { testkit::spit(file_of("e", "/oem0"), Bytes(100, 1)); }); }, 1,
         "\"change\": \"changed\""},
        {"one moved", [&] {
             pack_with([] { edit_manifest("e", [](const std::string& l) { return l.find("/vga") != std::string::npos ? "" : l; }); });
         }, 1, "\"change\": \"moved\""},
        {"one removed", [&] {
             pack_with([] { edit_manifest("e", [](const std::string& l) { return l.find("/oem0") != std::string::npos ? "" : l; }); });
         }, 1, "\"change\": \"removed\""},
        {"bytes outside changed", [] {
             Bytes b = testkit::slurp("img.bin");
             b[b.size() - 0x20] ^= 0xFF;
             testkit::spit("other.bin", b);
         }, 1, "\"what\": \"other\""},
        {"the other unreadable", [] { fs::remove("other.bin"); }, 2, nullptr},
    };
    std::vector<std::string> documents;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        const testkit::RunResult r = testkit::run_tool({"img.bin", "/diff", "other.bin", "/json"});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(testkit::run_tool({"img.bin", "/diff", "other.bin"}).status, c.status);
        if (!c.said) continue;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
        documents.push_back(r.out);
    }
    MOZAIK_LINUX_ONLY("Python's jsonschema");
    const std::optional<std::string> errors = testkit::schema_errors(documents);
    MOZAIK_NEEDS(errors, "/usr/bin/python3 with jsonschema missing");
    EXPECT_EQ(*errors, "");
}

TEST(ImageFolder, NameWordStoresTheNameAndCountsItsLength) {
    testkit::WorkDir dir;
    testkit::spit("img.bin", testkit::run_images()[0].bytes);
    fs::create_directories("a/very/deep/folder/of/parts/that/is/longer/than/the/limit/allows");
    const std::string deep = "a/very/deep/folder/of/parts/that/is/longer/than/the/limit/allows/oem.bin";
    testkit::spit(deep, Bytes(300, 7));
    EXPECT_EQ(testkit::run_tool({"img.bin", "/oem0", deep, "name=OEM.BIN", "/err"}).status, 0);
    EXPECT_NE(testkit::run_tool({"img.bin", "/D"}).out.find("OEM.BIN"), std::string::npos);
    EXPECT_EQ(testkit::run_tool({"img.bin", "/oem1", deep, "/err"}).status, 1) << "the path is counted without name=";
    const testkit::RunResult too_long = testkit::run_tool({"img.bin", "/oem1", "oem.bin", "name=" + std::string(64, 'N'), "/err"});
    EXPECT_EQ(too_long.status, 1);
    std::string said = too_long.err;
    std::erase(said, '\n');
    EXPECT_NE(said.find("is longer than 63 characters"), std::string::npos) << too_long.err;
}

}  // namespace
