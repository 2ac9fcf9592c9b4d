// Images as folders through the real binary: /unpack then /pack gives the
// same bytes on every clean image of the test kit; edits, removed and added
// manifest lines give images /verify finds clean; faults write nothing;
// /diff names what differs and ends as diff and cmp do.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "archive/crc16.hpp"
#include "archive/member_header.hpp"
#include "common/console.hpp"
#include "common/platform.hpp"
#include "common/sha256.hpp"
#include "driver/run.hpp"
#include "folder/unpack.hpp"
#include "image/bios_image.hpp"
#include "image/survey.hpp"
#include "testkit/components.hpp"
#include "testkit/corpus.hpp"
#include "testkit/group_runs.hpp"
#include "testkit/json_schema.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/microcode_builder.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

// `to` made a copy of `from` (copy_file's overwrite_existing fails under Wine).
void copy_over(const std::string& from, const std::string& to) {
    std::filesystem::remove(to);
    std::filesystem::copy_file(from, to);
}

// A 16 x 8 bitmap of 8 bits a pixel, grey levels: one a logo add converts.
std::vector<std::uint8_t> small_bitmap() {
    std::vector<std::uint8_t> b = {'B', 'M'};
    const auto put32 = [&b](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const std::uint32_t offset = 14 + 40 + 1024, pixels = 16 * 8;
    put32(offset + pixels);
    put32(0);
    put32(offset);
    for (const std::uint32_t v : {40u, 16u, 8u}) put32(v);
    b.insert(b.end(), {1, 0, 8, 0});
    for (const std::uint32_t v : {0u, pixels, 2835u, 2835u, 256u, 0u}) put32(v);
    for (int i = 0; i < 256; ++i) b.insert(b.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    for (std::uint32_t p = 0; p < pixels; ++p) b.push_back(static_cast<std::uint8_t>((p + p / 16) % 16));
    return b;
}

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
    ASSERT_EQ(testkit::run_tool({"img.bin", "/vga", "vga.rom", "/NoCompress", "table.bin", "/oem0", "oem.bin"}).status,
              0);
    if (!banked) return;
    testkit::spit("boot.rom", testkit::option_rom({.size = 0x800, .build = 3}));
    testkit::spit("module.bin", Bytes{'N', 'V', 'M', 'M', 0, 'O', 'L', 'D'});
    ASSERT_EQ(testkit::run_tool({"img.bin", "/btvga", "boot.rom", "/NVMM", "module.bin"}).status, 0);
}

bool has_line(const std::string& dir, const std::string& place) {
    return read_text(dir + "/manifest.txt").find("\n" + place + " ") != std::string::npos;
}

std::size_t position_of(const std::string& dir, const std::string& word);

TEST(ImageFolder, UnpackThenPackGivesTheSameBytesAndEditsGiveCleanImages) {
    testkit::WorkDir dir;
    for (const testkit::RunImage& base : testkit::run_images()) {
        SCOPED_TRACE(base.name);
        make_image(base);
        ASSERT_EQ(testkit::run_tool({"img.bin", "/verify"}).status, 0) << "a clean image to start from";
        fs::remove_all("d");
        ASSERT_EQ(testkit::run_tool({"img.bin", "/unpack", "d"}).status, 0);
        const std::string unpacked = read_text("d/manifest.txt");
        ASSERT_EQ(testkit::run_tool({"img.bin", "/unpack", "d"}).status, 0) << "an earlier unpack, refreshed";
        EXPECT_EQ(read_text("d/manifest.txt"), unpacked) << "the same image gives the same manifest";
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
            int status;          // of /pack
            const char* listed;  // a text /D shows, or must not show (`absent`); for a fault, what it says
            bool absent = false;
            const char* needs = "chain";    // the place the image must have for the row
            const char* same_as = nullptr;  // an image /pack must give byte for byte (made by `apply`)
        };
        // Each line as the previous version wrote it: AT, ORIGINAL and PACKED
        // after the method (AT where the member stands, sizes left "-").
        const auto long_lines = [] {
            edit_manifest("e", [](const std::string& l) {
                if (l.starts_with('#') || l.starts_with("image ") || l.empty()) return l;
                std::istringstream w(l);
                std::string place, file, sw, type, method;
                w >> place >> file >> sw >> type >> method;
                const bool member = place == "bios" || place == "chain" || place == "boot_vga";
                char at[16] = "-";
                if (member) std::snprintf(at, sizeof at, "%05zX", position_of("e", l.substr(l.find('"'))));
                const std::size_t figures = place.size() + file.size() + sw.size() + type.size() + method.size() + 5;
                return l.substr(0, figures) + at + " - - " + l.substr(figures);
            });
        };
        // Lines a person writes, against the same files added one by one.
        const auto recipe = [](const std::string& lines, const std::vector<std::string>& adds) {
            // Another card's ROM: an add puts it in a slot of its own.
            testkit::spit("r1.rom",
                          testkit::option_rom({.size = 0x800, .vendor = 0x1002, .device = 0x5159, .build = 5}));
            testkit::spit("r2.bin", testkit::corpus(testkit::CorpusKind::Text, 2500, 8));
            testkit::spit("r3.bin", testkit::corpus(testkit::CorpusKind::Code, 0x240, 2));
            for (const char* f : {"r1.rom", "r2.bin", "r3.bin"}) fs::copy_file(f, std::string("e/") + f);
            copy_over("img.bin", "serial.bin");
            std::vector<std::string> args = {"serial.bin"};
            args.insert(args.end(), adds.begin(), adds.end());
            ASSERT_EQ(testkit::run_tool(args).status, 0);
            edit_manifest(
                "e", [](const std::string& l) { return l; }, lines);
        };
        const Edit edits[] = {
            {"an edited member",
             [] { testkit::spit(file_of("e", "/oem0"), testkit::corpus(testkit::CorpusKind::Text, 5000, 9)); }, 0,
             "01388h"},
            {"an edited 16-byte aligned member",
             [&] { testkit::spit(file_of("e", "/NoCompress"), testkit::corpus(testkit::CorpusKind::Code, 0x123, 3)); },
             0, "00123h"},
            {"a removed line",
             [] {
                 edit_manifest("e", [](const std::string& l) { return l.find("/vga") != std::string::npos ? "" : l; });
             },
             0, "VGA ROM", true},
            {"an added line",
             [] {
                 testkit::spit("e/added.bin", testkit::corpus(testkit::CorpusKind::Runs, 0x777, 4));
                 edit_manifest(
                     "e", [](const std::string& l) { return l; },
                     "chain added.bin /group10 4033:0 -lh5- - - - - \"ADDED ONE.BIN\"\n");
             },
             0, "ADDED ONE.BIN"},
            {"a missing file", [] { fs::remove(file_of("e", "/oem0")); }, 1, "can't read"},
            {"a bad line",
             [] {
                 edit_manifest("e", [](const std::string& l) { return l.starts_with("chain") ? l.substr(0, 40) : l; });
             },
             1, "manifest line "},
            {"a deleted system BIOS line",
             [] { edit_manifest("e", [](const std::string& l) { return l.starts_with("bios") ? "" : l; }); }, 1,
             nullptr},
            {"an edited top block",
             [] { testkit::spit(file_of("e", "top_block"), testkit::intel_microcode({.total_size = 0x1400})); }, 0,
             "(SP) NCPUCODE          01400h", false, "top"},
            {"a top block too big", [&] { testkit::spit(file_of("e", "top_block"), Bytes(base.bytes.size() / 2, 1)); },
             1, "the top block does not fit", false, "top"},
            {"a second top line",
             [] { edit_manifest("e", [](const std::string& l) { return l.starts_with("top ") ? l + "\n" + l : l; }); },
             1, "a second \"top\" line", false, "top"},
            {"an edited boot-block VGA ROM",
             [] { testkit::spit(file_of("e", "boot_vga"), testkit::option_rom({.size = 0xC00, .build = 4})); }, 0,
             "(BB) Compress BT-VGA   00C00h", false, "boot_vga"},
            {"a boot-block VGA file that is no ROM", [] { testkit::spit(file_of("e", "boot_vga"), Bytes(0x800, 0)); },
             1, "The ROM Not VGA BIOS", false, "boot_vga"},
            {"an edited memory module",
             [] {
                 testkit::spit(file_of("e", "memory_module"), Bytes{'N', 'V', 'M', 'M', 0, 'N', 'E', 'W'});
             },
             0, "NVMM NEW", false, "memory"},
            {"a memory module too long", [] { testkit::spit(file_of("e", "memory_module"), Bytes(0x1005, 0)); }, 1,
             "have not enough space for adding ROM", false, "memory"},
            {"a second image line",
             [] {
                 edit_manifest("e", [](const std::string& l) { return l.starts_with("image ") ? l + "\n" + l : l; });
             },
             1, "manifest line 5: a second \"image\" line (the first is line 4); a manifest has one"},
            {"an identical chain line",
             [] {
                 edit_manifest(
                     "e", [](const std::string& l) { return l.find("/oem0") != std::string::npos ? l + "\n" + l : l; });
             },
             1, "the same chain line as line "},
            {"a second line for one TypeId",
             [] {
                 testkit::spit("e/other.bin", Bytes(100, 3));
                 edit_manifest(
                     "e", [](const std::string& l) { return l; },
                     "chain other.bin /oem0 4012:0 -lh5- - - - - \"OTHER.BIN\"\n");
             },
             1, "a second chain line for TypeId 4012:0 (the first is line "},
            {"a recipe of minimal lines",
             [&] {
                 recipe("chain r1.rom /vga\nchain r2.bin /oem5\nchain r3.bin /oem6\n",
                        {"/vga", "r1.rom", "/oem5", "r2.bin", "/oem6", "r3.bin"});
             },
             0, "r1.rom", false, "chain", "serial.bin"},
            {"\"-\" for a slotted kind's TypeId and method",
             [&] {
                 recipe("chain r1.rom /pci - -\nchain r2.bin /oem5 - -lh5-\n", {"/pci", "r1.rom", "/oem5", "r2.bin"});
             },
             0, "r1.rom", false, "chain", "serial.bin"},
            {"a bitmap on a logo line and an executable on a kind that takes its body, as the adds take them",
             [&] {
                 for (const std::string at : {"", "e/"}) {
                     testkit::spit(at + "logo.bmp", small_bitmap());
                     testkit::spit(at + "tool.exe", testkit::dos_executable(Bytes(0x300, 0x5A)));
                 }
                 recipe("chain logo.bmp /logo\nchain tool.exe /oem5\n", {"/logo", "logo.bmp", "/oem5", "tool.exe"});
             },
             0, "logo.bmp", false, "chain", "serial.bin"},
            {"a TypeId the switch does not add", [&] { recipe("chain r1.rom /pci 4080:0\n", {}); }, 1,
             "TypeId 4080:0 is not one the switch /pci adds"},
            {"long lines, as the previous version wrote them", long_lines, 0, "SYSBIOS.BIN", false, "chain", "img.bin"},
            {"too much for the chain",
             [&] {
                 testkit::spit(file_of("e", "/oem0"),
                               testkit::corpus(testkit::CorpusKind::Random, base.bytes.size(), 2));
             },
             1, "have not enough space for adding ROM"},
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
                const std::string said = testkit::unfolded(r.err);
                EXPECT_NE(said.find("nothing was written"), std::string::npos) << r.err;
                if (e.listed) {
                    EXPECT_NE(said.find(e.listed), std::string::npos) << r.err;  // what to fix
                }
                continue;
            }
            EXPECT_EQ(testkit::run_tool({"new.bin", "/verify"}).status, 0)
                << testkit::run_tool({"new.bin", "/verify"}).out;
            EXPECT_EQ(testkit::run_tool({"new.bin", "/D"}).out.find(e.listed) == std::string::npos, e.absent);
            const bool unchanged = e.same_as && std::string(e.same_as) == "img.bin";
            EXPECT_EQ(testkit::run_tool({"img.bin", "/diff", "new.bin"}).status, unchanged ? 0 : 1);
            if (e.same_as) {
                EXPECT_TRUE(testkit::slurp("new.bin") == testkit::slurp(e.same_as))
                    << testkit::run_tool({"new.bin", "/diff", e.same_as}).out;
            }
        }
        // A folder /unpack did not make.
        fs::create_directory("empty");
        EXPECT_NE(testkit::run_tool({"new.bin", "/pack", "empty"}).err.find("is no folder /unpack made"),
                  std::string::npos);
    }
}

// With /best the changed lines are packed near-optimally: the image checks
// clean, the edited member takes less space, and it unpacks to the edit.
TEST(ImageFolder, PackWithBestPacksTheChangedLinesSmaller) {
    testkit::WorkDir dir;
    make_image(testkit::run_images()[0]);
    ASSERT_EQ(testkit::run_tool({"img.bin", "/unpack", "d"}).status, 0);
    const Bytes edit = testkit::corpus(testkit::CorpusKind::Code, 20000, 9);
    testkit::spit(file_of("d", "/oem0"), edit);
    ASSERT_EQ(testkit::run_tool({"new.bin", "/pack", "d"}).status, 0);
    const testkit::RunResult r = testkit::run_tool({"best.bin", "/pack", "d", "/best"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testkit::run_tool({"best.bin", "/verify"}).status, 0);
    const auto free_space = [](const std::string& image) {
        const std::string out = testkit::run_tool({image, "/json"}).out;
        const auto at = out.find("\"free\":");
        return at == std::string::npos ? -1LL : std::stoll(out.substr(at + 7));
    };
    EXPECT_GT(free_space("new.bin"), 0);
    EXPECT_GT(free_space("best.bin"), free_space("new.bin"));
    ASSERT_EQ(testkit::run_tool({"best.bin", "/unpack", "back"}).status, 0);
    EXPECT_TRUE(testkit::slurp(file_of("back", "/oem0")) == edit);
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
        {"identical", [] { fs::copy_file("img.bin", "other.bin", fs::copy_options::overwrite_existing); }, 0,
         "\"same\": true"},
        {"one member changed", [&] { pack_with([] { testkit::spit(file_of("e", "/oem0"), Bytes(100, 1)); }); }, 1,
         "\"change\": \"replaced\""},
        {"one moved",
         [&] {
             pack_with([] {
                 edit_manifest("e", [](const std::string& l) { return l.find("/vga") != std::string::npos ? "" : l; });
             });
         },
         1, "\"change\": \"moved\""},
        {"one removed",
         [&] {
             pack_with([] {
                 edit_manifest("e", [](const std::string& l) { return l.find("/oem0") != std::string::npos ? "" : l; });
             });
         },
         1, "\"change\": \"removed\""},
        {"bytes outside changed",
         [] {
             Bytes b = testkit::slurp("img.bin");
             b[b.size() - 0x20] ^= 0xFF;
             testkit::spit("other.bin", b);
         },
         1, "\"what\": \"other\""},
        {"the other unreadable", [] { fs::remove("other.bin"); }, 2, nullptr},
    };
    std::vector<std::string> documents;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        const testkit::RunResult r = testkit::run_tool({"img.bin", "/diff", "other.bin", "/json"});
        EXPECT_EQ(r.status, c.status) << r.err;
        const testkit::RunResult text = testkit::run_tool({"img.bin", "/diff", "other.bin"});
        EXPECT_EQ(text.status, c.status);
        // Laid out for 80 columns by its own layout: digests never broken.
        if (c.said && std::string_view(c.said).find("replaced") != std::string_view::npos) {
            EXPECT_TRUE(std::regex_search(text.out, std::regex("\n {11}[0-9A-F]{5}h->[0-9A-F]{5}h [0-9]+->[0-9]+ "
                                                               "[0-9a-f]{8}->[0-9a-f]{8}\n")))
                << text.out;
        }
        if (!c.said) continue;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
        documents.push_back(r.out);
    }
    MOZAIK_LINUX_ONLY("Python's jsonschema");
    const std::optional<std::string> errors = testkit::schema_errors(documents);
    MOZAIK_NEEDS(errors, "/usr/bin/python3 with jsonschema missing");
    EXPECT_EQ(*errors, "");
}

// Every file, folder and link under the current folder, but for those under
// `skip` (the files a run was told to make): kind and content or link target.
std::map<std::string, std::string> tree(const std::vector<std::string>& skip) {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator("."); it != fs::recursive_directory_iterator(); ++it) {
        const std::string path = it->path().lexically_normal().generic_string();
        if (std::ranges::any_of(skip, [&](const std::string& s) { return path == s || path.starts_with(s + "/"); })) {
            if (it->is_directory()) it.disable_recursion_pending();
            continue;
        }
        const fs::file_status st = it->symlink_status();
        if (fs::is_symlink(st))
            out[path] = "link to " + fs::read_symlink(it->path()).string();
        else if (fs::is_regular_file(st))
            out[path] = "file " + sha256_hex(testkit::slurp(path));
        else
            out[path] = fs::is_directory(st) ? "folder" : "other";
    }
    return out;
}

// The number of the manifest line of `dir` that mentions `word`.
int line_number(const std::string& dir, const std::string& word) {
    std::istringstream in(read_text(dir + "/manifest.txt"));
    int n = 0;
    for (std::string line; std::getline(in, line);)
        if (++n, !line.starts_with('#') && line.find(word) != std::string::npos) return n;
    ADD_FAILURE() << word << " is not in the manifest";
    return 0;
}

// The manifest line mentioning `word` with its file field set to `file`.
void point_line_at(const std::string& dir, const std::string& word, const std::string& file) {
    edit_manifest(dir, [&](const std::string& l) {
        if (l.starts_with('#') || l.find(word) == std::string::npos) return l;
        std::istringstream w(l);
        std::string place, old;
        w >> place >> old;
        return place + " " + file + l.substr(place.size() + 1 + old.size());
    });
}

// A run in this process, for the rows that need the unpack hook: status and console channel.
testkit::RunResult run_here(std::vector<std::string> args) {
    args.insert(args.begin(), "mozaik32");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    console::Capture capture;
    testkit::RunResult r;
    r.status = run(static_cast<int>(args.size()), argv.data());
    r.err = capture.err();
    r.out = capture.out();
    return r;
}

// The offset of the member on the manifest line of `dir` that mentions
// `word`, found in the folder's image.bin by its stored name.
std::size_t position_of(const std::string& dir, const std::string& word) {
    std::istringstream in(read_text(dir + "/manifest.txt"));
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with('#') || line.find(word) == std::string::npos) continue;
        const std::size_t open = line.find('"'), close = line.rfind('"');
        BiosImage image;
        image.bytes = testkit::slurp(dir + "/image.bin");
        analyse_layout(image);
        for (const Component& c : survey_image(image).components)
            if (c.head && c.name == line.substr(open + 1, close - open - 1)) return c.position;
    }
    ADD_FAILURE() << word << " is not in the manifest or image.bin";
    return 0;
}

// The attacks a folder received from someone else, or someone sharing the
// folder, can make on /unpack and /pack: each fails, says so in these
// words, and changes nothing outside the files the run was told to make.
TEST(ImageFolder, AttacksOnTheFolderFailAndChangeNothingOutsideIt) {
    MOZAIK_LINUX_ONLY("symbolic links and FIFOs");
    testkit::WorkDir work;
    make_image(testkit::run_images()[0]);
    ASSERT_EQ(testkit::run_tool({"img.bin", "/unpack", "d"}).status, 0);
    testkit::spit("secret", std::string("KEY"));
    const Bytes image = testkit::slurp("img.bin");
    const std::string vga_line = std::to_string(line_number("d", "/vga"));
    // The image with one byte of its stored system BIOS's data changed,
    // and what /unpack says of it.
    const std::size_t bios_at = position_of("d", "\"SYSBIOS.BIN\"");
    const MemberHead bios_head = read_member_head(image, bios_at);
    const std::size_t bios_data = bios_at + header_size(bios_head) + 2;
    Bytes damaged = image;
    damaged[bios_data + 100] ^= 0x5A;
    const int table_line = line_number("d", "\"SYSBIOS.BIN\"");
    char crc_text[400];
    std::snprintf(crc_text, sizeof crc_text,
                  "bad.bin: the component \"%s\" at %05zXh fails its CRC (recorded %04Xh, its data gives %04Xh); %s "
                  "holds what it expands to (%u of %u bytes)bad.bin: 1 damaged (named above and in manifest.txt); "
                  "/pack takes the folder once each \".damaged.\" line is dealt with",
                  std::string(listed_name(bios_head)).c_str(), bios_at, *recorded_crc(header_in_holder(bios_head)),
                  crc16::update(0, std::span(damaged).subspan(bios_data, original_size(bios_head))),
                  "system_bios.damaged.bin", original_size(bios_head), original_size(bios_head));
    const std::string crc_said = crc_text;
    ASSERT_NE(table_line, 0);
    // The image with its /oem0 member claiming one byte more than a member may expand to.
    Bytes huge = image;
    const std::size_t oem_position = position_of("d", "/oem0");
    const std::uint32_t claimed = (16u << 20) + 1;
    for (int i = 0; i < 4; ++i) huge[oem_position + 11 + i] = static_cast<std::uint8_t>(claimed >> (8 * i));
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < huge[oem_position]; ++i)
        sum = static_cast<std::uint8_t>(sum + huge[oem_position + 2 + i]);
    huge[oem_position + 1] = sum;
    char huge_said[300];
    std::snprintf(huge_said, sizeof huge_said,
                  "huge.bin: the component \"oem.bin\" at %05zXh claims 16777217 bytes, more than the 16777216 a "
                  "member may expand to; nothing of it could be readhuge.bin: 1 damaged (named above and in "
                  "manifest.txt); /pack takes the folder once each \".damaged.\" line is dealt with",
                  oem_position);
    const auto unpack_damaged = [&] {
        fs::remove_all("e");
        testkit::spit("bad.bin", damaged);
        ASSERT_EQ(testkit::run_tool({"bad.bin", "/unpack", "e"}).status, 0);
    };
    // The folder as an earlier version unpacked bad.bin: the damaged member
    // under its own name, its line with the SHA-256 of what it expanded to.
    const auto unpack_damaged_before = [&] {
        unpack_damaged();
        fs::rename("e/system_bios.damaged.bin", "e/system_bios.bin");
        const std::string sha = sha256_hex(testkit::slurp("e/system_bios.bin"));
        edit_manifest("e", [&](const std::string& l) -> std::string {
            if (l.starts_with("# damaged")) return {};
            if (!l.starts_with("bios ")) return l;
            std::string line = std::regex_replace(l, std::regex("system_bios\\.damaged\\.bin"), "system_bios.bin");
            return std::regex_replace(line, std::regex(" - \""), " " + sha + " \"");
        });
    };
    const std::string pack_crc_said =
        "manifest line " + std::to_string(table_line) +
        ": the member at 00000h goes back as stored, and its data fails its CRC as in the "
        "image /unpack read";
    struct Attack {
        const char* what;
        std::function<void()> plant;    // in "e", a copy of d, or beside it
        std::vector<std::string> args;  // run through the binary
        bool in_process = false;        // run here, with the unpack hook set
        int status;
        std::string said;                                   // the whole console channel, line ends dropped
        std::vector<std::string> named = {"e", "new.bin"};  // what the run was told to make
    };
    const Attack attacks[] = {
        {"a dangling link planted in DIR after its check, at the first name /unpack makes",
         [] {
             unpack_folder_checked = [](const std::string& dir) {
                 fs::create_symlink("../victim", dir + "/image.bin");
             };
         },
         {"img.bin", "/unpack", "e"},
         true,
         1,
         "Can't create e/image.bin: something stands there since e was found empty; nothing was written through it"},
        {"a link to a file outside planted in DIR after its check, at the last name /unpack makes",
         [] {
             unpack_folder_checked = [](const std::string& dir) {
                 fs::create_symlink("../secret", dir + "/manifest.txt");
             };
         },
         {"img.bin", "/unpack", "e"},
         true,
         1,
         "Can't create e/manifest.txt: something stands there since e was found empty; nothing was written through it"},
        {"a content path with ..",
         [&] { point_line_at("e", "/vga", "../secret"); },
         {"new.bin", "/pack", "e"},
         false,
         1,
         "manifest line " + vga_line +
             ": ../secret has a \"..\" part: /pack reads only files inside e; copy the file "
             "into the folder; nothing was written"},
        {"an absolute content path",
         [&] { point_line_at("e", "/vga", "/etc/passwd"); },
         {"new.bin", "/pack", "e"},
         false,
         1,
         "manifest line " + vga_line +
             ": /etc/passwd is an absolute path: /pack reads only files inside e; copy the "
             "file into the folder; nothing was written"},
        {"a link inside DIR to a file outside",
         [&] {
             fs::create_symlink("../secret", "e/key.rom");
             point_line_at("e", "/vga", "key.rom");
         },
         {"new.bin", "/pack", "e"},
         false,
         1,
         "manifest line " + vga_line +
             ": key.rom is or passes through a symbolic link: /pack follows no link out of e; "
             "copy the file into the folder; nothing was written"},
        {"a folder inside DIR that is a link outside",
         [&] {
             fs::create_directory("elsewhere");
             fs::copy_file("vga.rom", "elsewhere/vga.rom");
             fs::create_directory_symlink("../elsewhere", "e/sub");
             point_line_at("e", "/vga", "sub/vga.rom");
         },
         {"new.bin", "/pack", "e"},
         false,
         1,
         "manifest line " + vga_line +
             ": sub/vga.rom is or passes through a symbolic link: /pack follows no link out "
             "of e; copy the file into the folder; nothing was written"},
        {"an image line naming a file outside DIR",
         [] {
             fs::copy_file("img.bin", "outside.bin");
             edit_manifest("e", [](const std::string& l) {
                 return l.starts_with("image ")
                            ? "image ../outside.bin" + l.substr(std::string("image image.bin").size())
                            : l;
             });
         },
         {"new.bin", "/pack", "e"},
         false,
         1,
         "manifest line 4: ../outside.bin has a \"..\" part: /pack reads only files inside e; copy the file into the "
         "folder; nothing was written"},
        {"an image file that is a link outside",
         [] {
             fs::copy_file("img.bin", "outside.bin");
             fs::remove("e/image.bin");
             fs::create_symlink("../outside.bin", "e/image.bin");
         },
         {"new.bin", "/pack", "e"},
         false,
         1,
         "manifest line 4: image.bin is or passes through a symbolic link: /pack follows no link out of e; copy the "
         "file into the folder; nothing was written"},
        {"a content file larger than a member may be, never read",
         [&] {
             { std::ofstream big("e/big.bin", std::ios::binary); }
             fs::resize_file("e/big.bin", 60u << 20);  // sparse: 60 MB that cost no disk
             point_line_at("e", "/vga", "big.bin");
         },
         {"new.bin", "/pack", "e"},
         false,
         1,
         "manifest line " + vga_line +
             ": e/big.bin has 62914560 bytes, more than the 16777216 it may have; shrink it; "
             "nothing was written"},
        {"a FIFO as NEW",
         [] {
#ifndef _WIN32
             ASSERT_EQ(::mkfifo("fifo.bin", 0600), 0);
#endif
         },
         {"fifo.bin", "/pack", "e"},
         false,
         1,
         "fifo.bin is no regular file (a FIFO, a device or a folder): /pack writes an image file; nothing was written",
         {"e"}},
        {"a member whose data fails its CRC, under /err",
         [&] { testkit::spit("bad.bin", damaged); },
         {"bad.bin", "/unpack", "e", "/err"},
         false,
         1,
         crc_said,
         {"e"}},
        {"a member whose data fails its CRC",
         [&] { testkit::spit("bad.bin", damaged); },
         {"bad.bin", "/unpack", "e"},
         false,
         0,
         crc_said,
         {"e"}},
        {"a member that claims more than a member may expand to",
         [&] { testkit::spit("huge.bin", huge); },
         {"huge.bin", "/unpack", "e"},
         false,
         0,
         huge_said,
         {"e"}},
        {"a folder whose member fails its CRC, packed under /err",
         [&] { unpack_damaged_before(); },
         {"new.bin", "/pack", "e", "/err"},
         false,
         1,
         pack_crc_said + "a member fails its CRC (/err); nothing was written"},
        {"a folder whose member fails its CRC, packed",
         [&] { unpack_damaged_before(); },
         {"new.bin", "/pack", "e"},
         false,
         0,
         pack_crc_said,
         {"e", "new.bin"}},
    };
    for (const Attack& a : attacks) {
        SCOPED_TRACE(a.what);
        fs::remove_all("e");
        for (const char* f : {"new.bin", "fifo.bin", "victim", "outside.bin", "bad.bin", "huge.bin"}) fs::remove(f);
        fs::remove_all("elsewhere");
        if (a.args[1] == "/pack") fs::copy("d", "e");
        a.plant();
        const std::map<std::string, std::string> before = tree(a.named);
        const testkit::RunResult r = a.in_process ? run_here(a.args) : testkit::run_tool(a.args);
        unpack_folder_checked = nullptr;
        EXPECT_EQ(r.status, a.status) << r.err;
        EXPECT_EQ(testkit::unfolded(r.err), a.said);
        EXPECT_TRUE(tree(a.named) == before) << "something outside the named files changed";
        EXPECT_EQ(fs::exists("new.bin"), a.status == 0 && a.args[1] == "/pack");
        if (a.status == 0 && a.args[1] == "/pack") {
            EXPECT_TRUE(testkit::slurp("new.bin") == damaged) << "the same bytes";
        }
        EXPECT_FALSE(fs::exists(fs::symlink_status("victim")));
        EXPECT_EQ(read_text("secret"), "KEY");
    }
}

// /unpack of an image damaged in one place writes every component that
// reads back sound as before, the damaged one as far as it expands under a
// name that says so (or nowhere), names the damage with its offset on the
// console channel and in the manifest, and fails under /err; /pack refuses
// the damaged line until it names a sound file, and leaves out what could
// not be read, saying so.
TEST(ImageFolder, SalvageWritesWhatReadsBackAndNamesTheDamage) {
    testkit::WorkDir work;
    make_image(testkit::run_images()[0]);
    ASSERT_EQ(testkit::run_tool({"img.bin", "/unpack", "d"}).status, 0);
    const Bytes image = testkit::slurp("img.bin");
    const std::size_t table = position_of("d", "/NoCompress"), oem = position_of("d", "/oem0"),
                      bios = position_of("d", "\"SYSBIOS.BIN\"");
    const auto data_of = [&](std::size_t at) { return at + header_size(read_member_head(image, at)) + 2; };
    const auto at_text = [](const char* format, std::size_t at) {
        char text[200];
        std::snprintf(text, sizeof text, format, at);
        return std::string(text);
    };
    struct Row {
        const char* what;
        std::size_t offset;     // the byte damaged, XORed with 5Ah
        const char* line;       // a word of the damaged component's line in d
        std::string said;       // a part of the console channel
        const char* file;       // what the damaged component went to ("": nothing)
        bool whole;             // that file holds the sound content
        bool in_place = false;  // mended, it packs back to the sound image byte for byte
    };
    const Row rows[] = {
        {"a byte of a member's data", data_of(oem) + packed_size(read_member_head(image, oem)) - 2, "/oem0",
         at_text("the component \"oem.bin\" at %05zXh ", oem), "oem0.damaged.bin", false},
        {"a byte of a member's header (its stored name)", oem + 22, "/oem0",
         at_text("at %05zXh fails its header sum; oem0.damaged.bin holds what it expands to (3000 of 3000 bytes)", oem),
         "oem0.damaged.bin", true},
        {"the chain's link to a member (its \"-lh\")", table + 3, "/NoCompress",
         at_text("no member could be read from %05zXh to", table), "", false},
        {"a byte of the system BIOS's data", data_of(bios) + 100, "\"SYSBIOS.BIN\"",
         "the component \"SYSBIOS.BIN\" at 00000h fails its CRC", "system_bios.damaged.bin", false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Bytes bad = image;
        bad[row.offset] ^= 0x5A;
        testkit::spit("bad.bin", bad);
        fs::remove_all("e");
        fs::remove("new.bin");
        const testkit::RunResult r = testkit::run_tool({"bad.bin", "/unpack", "e", "/err"});
        EXPECT_EQ(r.status, 1) << "a salvage fails under /err";
        EXPECT_NE(testkit::unfolded(r.err).find(row.said), std::string::npos) << r.err;
        const std::string manifest = read_text("e/manifest.txt");
        // A comment in the manifest notes it from its offset on (it names no image).
        const std::size_t from = row.said.find("at ");
        const std::size_t noted = manifest.find(row.said.substr(from == std::string::npos ? 0 : from));
        EXPECT_TRUE(noted != std::string::npos && manifest.rfind("# damaged: ", noted) != std::string::npos)
            << manifest;
        // Every other component as the sound image gave it.
        std::istringstream lines(read_text("d/manifest.txt"));
        for (std::string l; std::getline(lines, l);) {
            if (l.starts_with('#') || l.starts_with("image ") || l.find(row.line) != std::string::npos) continue;
            const std::string file = l.substr(l.find(' ') + 1, l.find(' ', l.find(' ') + 1) - l.find(' ') - 1);
            EXPECT_TRUE(testkit::slurp("e/" + file) == testkit::slurp("d/" + file)) << file;
        }
        const std::string sound = file_of("d", row.line);
        if (*row.file == '\0') {
            for (const fs::directory_entry& f : fs::directory_iterator("e"))
                EXPECT_EQ(f.path().filename().string().find(".damaged."), std::string::npos) << f.path();
        } else {
            ASSERT_TRUE(fs::exists(std::string("e/") + row.file)) << manifest;
            const Bytes got = testkit::slurp(std::string("e/") + row.file);
            EXPECT_EQ(got == testkit::slurp(sound), row.whole);
        }
        // /pack: the damaged line refused until it names a sound file; what was lost left out, said.
        testkit::RunResult packed = testkit::run_tool({"new.bin", "/pack", "e"});
        if (*row.file != '\0') {
            EXPECT_EQ(packed.status, 1);
            EXPECT_NE(testkit::unfolded(packed.err).find("holds what /unpack could read of a damaged component"),
                      std::string::npos)
                << packed.err;
            copy_over(sound, "e/sound.bin");
            point_line_at("e", row.file, "sound.bin");
            packed = testkit::run_tool({"new.bin", "/pack", "e"});
        } else {
            EXPECT_NE(testkit::unfolded(packed.err).find("what stood there is left out"), std::string::npos)
                << packed.err;
            EXPECT_EQ(testkit::run_tool({"new2.bin", "/pack", "e", "/err"}).status, 1);
        }
        EXPECT_EQ(packed.status, 0) << packed.err;
        EXPECT_EQ(testkit::run_tool({"new.bin", "/verify"}).status, 0) << "a sound image again";
        if (row.in_place) {
            EXPECT_TRUE(testkit::slurp("new.bin") == image) << "the image as it was before the damage";
        }
    }
}

// /unpack into a folder that is there already: one holding only a
// ".git" is filled, an earlier unpack refreshed in place (the content
// files of components that are gone removed, every file /unpack did not
// make left as it was and listed); any other folder is refused untouched.
TEST(ImageFolder, UnpackRefreshesAnEarlierUnpackAndLeavesOtherFiles) {
    testkit::WorkDir work;
    make_image(testkit::run_images()[0]);
    // more.bin: img.bin with one member more, whose file goes when img.bin is unpacked over it.
    fs::copy_file("img.bin", "more.bin");
    testkit::spit("extra.bin", Bytes(500, 9));
    ASSERT_EQ(testkit::run_tool({"more.bin", "/oem5", "extra.bin"}).status, 0);
    testkit::spit("secret", std::string("KEY"));
    struct Case {
        const char* what;
        std::function<void()> plant;  // in f
        int status;
        std::vector<std::string> said;            // on stdout (status 0) or the console channel
        std::map<std::string, std::string> kept;  // files of f with their text afterwards
        std::vector<std::string> gone;            // names no longer in f
        bool links = false;                       // plants a symbolic link (none under Wine)
    };
    const auto earlier = [](const std::string& image) {
        ASSERT_EQ(testkit::run_tool({image, "/unpack", "f"}).status, 0);
        testkit::spit("f/README", std::string("mine"));
    };
    const Case cases[] = {
        {"a folder holding only .git",
         [] {
             fs::create_directories("f/.git");
             testkit::spit("f/.git/HEAD", std::string("ref"));
         },
         0,
         {"left f/.git as it was"},
         {{".git/HEAD", "ref"}},
         {}},
        {"an earlier unpack of another image",
         [&] { earlier("more.bin"); },
         0,
         {"removed f/oem5.bin (its component is gone)", "left f/README as it was"},
         {{"README", "mine"}},
         {"oem5.bin"}},
        {"an earlier unpack with a link planted at a content file's name",
         [&] {
             earlier("img.bin");
             fs::remove(file_of("f", "/vga"));
             fs::create_symlink("../secret", file_of("f", "/vga"));
         },
         0,
         {"left f/README as it was"},
         {{"README", "mine"}},
         {},
         true},
        {"a folder with another file and no manifest",
         [] {
             fs::create_directory("f");
             testkit::spit("f/notes.txt", std::string("x"));
         },
         1,
         {"f is not empty and holds no manifest.txt of an earlier unpack"},
         {{"notes.txt", "x"}},
         {"image.bin"}},
        {"a folder whose manifest does not read",
         [] {
             fs::create_directory("f");
             testkit::spit("f/manifest.txt", std::string("chain\n"));
         },
         1,
         {"f/manifest.txt: manifest line 1: a component line has"},
         {{"manifest.txt", "chain\n"}},
         {"image.bin"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.links && platform::kWindows) continue;
        fs::remove_all("f");
        c.plant();
        const testkit::RunResult r = testkit::run_tool({"img.bin", "/unpack", "f"});
        EXPECT_EQ(r.status, c.status) << r.err;
        std::string said = testkit::unfolded(c.status == 0 ? r.out : r.err);
        std::ranges::replace(said, '\\', '/');  // Windows names its paths with backslashes
        for (const std::string& s : c.said) EXPECT_NE(said.find(s), std::string::npos) << said;
        for (const auto& [file, text] : c.kept) EXPECT_EQ(read_text("f/" + file), text) << file;
        for (const std::string& file : c.gone) EXPECT_FALSE(fs::exists(fs::symlink_status("f/" + file))) << file;
        EXPECT_EQ(read_text("secret"), "KEY");
        if (c.status != 0) continue;
        EXPECT_FALSE(fs::is_symlink(fs::symlink_status(file_of("f", "/vga")))) << "a link is replaced, not followed";
        ASSERT_EQ(testkit::run_tool({"same.bin", "/pack", "f"}).status, 0);
        EXPECT_TRUE(testkit::slurp("same.bin") == testkit::slurp("img.bin"));
    }
}

// A release that changes one member: unpacked over the folder of the one
// before, the manifest changes in that member's line (which moves to the
// chain's end, where the add puts a replacement) and the image line; every
// other line stays byte for byte.
TEST(ImageFolder, OneChangedMemberChangesOneLineAcrossReleases) {
    testkit::WorkDir work;
    make_image(testkit::run_images()[0]);
    ASSERT_EQ(testkit::run_tool({"img.bin", "/unpack", "f"}).status, 0);
    const std::string before = read_text("f/manifest.txt");
    testkit::spit(file_of("f", "/vga"), testkit::option_rom({.build = 7}));
    ASSERT_EQ(testkit::run_tool({"next.bin", "/pack", "f"}).status, 0);
    copy_over("next.bin", "img.bin");  // the release under its name
    ASSERT_EQ(testkit::run_tool({"img.bin", "/unpack", "f"}).status, 0);
    const std::string after = read_text("f/manifest.txt");
    std::istringstream a(before), b(after);
    std::set<std::string> old_lines;
    for (std::string x; std::getline(a, x);) old_lines.insert(x);
    std::vector<std::string> changed;
    std::size_t lines = 0;
    for (std::string y; std::getline(b, y); ++lines)
        if (!old_lines.count(y)) {
            std::istringstream words(y);
            std::string place, file;
            words >> place >> file;
            changed.push_back(place + " " + file);
        }
    EXPECT_EQ(lines, old_lines.size()) << "as many lines";
    const std::string vga = fs::path(file_of("f", "/vga")).filename().string();
    EXPECT_EQ(changed, (std::vector<std::string>{"image image.bin", "chain " + vga})) << after;
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
    const testkit::RunResult too_long =
        testkit::run_tool({"img.bin", "/oem1", "oem.bin", "name=" + std::string(64, 'N'), "/err"});
    EXPECT_EQ(too_long.status, 1);
    const std::string said = testkit::unfolded(too_long.err);
    EXPECT_NE(said.find("is longer than 63 characters"), std::string::npos) << too_long.err;
}

}  // namespace
