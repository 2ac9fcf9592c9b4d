// What a build script relies on, through the real binary: every failure
// counts under /err, a run that fails under /err leaves the image as it
// was, images that are no BIOS images are refused, release and extract
// run without prompts, and --version and --help.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/platform.hpp"
#include "testkit/components.hpp"
#include "testkit/extract_kit.hpp"
#include "testkit/members.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes vga(std::uint16_t device, std::uint8_t build = 1) {
    return testkit::option_rom({.size = 0x800, .device = device, .build = build});
}

// A 24-bit bitmap of 2 x 2 pixels: a depth the logo conversion refuses.
Bytes bitmap24() {
    Bytes b(54 + 16, 0x40);
    const std::uint32_t fields[][2] = {{2, 70}, {10, 54}, {14, 40}, {18, 2}, {22, 2}, {30, 0}};
    b[0] = 'B';
    b[1] = 'M';
    for (const auto& [at, value] : fields)
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    b[26] = 1;
    b[28] = 24;
    b[29] = 0;
    return b;
}

// A file's bytes; empty when there is none.
Bytes bytes_of(const std::string& path) {
    return std::filesystem::exists(path) ? testkit::slurp(path) : Bytes{};
}

// img.bin: a chain image holding two VGA ROMs; the parts the rows name.
void setup() {
    testkit::SyntheticImage img =
        testkit::chain_image({testkit::member_bytes(testkit::packed_member(0x4080, 0, "V1.ROM", vga(0x40))),
                              testkit::member_bytes(testkit::packed_member(0x4081, 0, "V2.ROM", vga(0x41)))})
            .image;
    testkit::balance_image(img.bytes, 0, 0x3D000, img.top_base() + 0x1E054);  // clean, as /verify sees it
    img.save("img.bin");
    testkit::spit("v.rom", vga(0x50));
    testkit::spit("lan.rom", testkit::option_rom({.size = 0x800, .device = 0x60, .base_class = 2}));
    testkit::spit("photo24.bmp", bitmap24());
    testkit::spit("notes.txt", std::string("not an image\n"));
    testkit::spit("empty.bin", std::string());
    testkit::spit("blank.bin", Bytes(0x40000, 0xFF));
    testkit::spit("huge.bin", std::string());
    std::filesystem::resize_file("huge.bin", (16u << 20) + 1);  // sparse: nothing is written
}

struct Row {
    const char* what;
    std::vector<std::string> args;
    std::string input;
    std::string err_has;       // on the console channel
    int status_without_err;    // the same run without /err
    std::string out_has = {};  // on standard output
};

TEST(ExitStatus, EveryFailureCountsUnderErrAndTheImageStaysAsItWas) {
    const std::vector<Row> rows = {
        {"a typo in a later switch",
         {"img.bin", "/vga", "v.rom", "/pic", "lan.rom"},
         "",
         "Unknown option /pic: the run ends here\n",
         0},
        {"a missing InputFile", {"nosuch.bin", "/vga", "v.rom"}, "", "", 0, "nosuch.bin file not found"},
        {"a 24-bit bitmap", {"img.bin", "/logo", "photo24.bmp"}, "", "", 0, " !! BMP colors not support"},
        {"/btvga on an image without a boot-block room",
         {"img.bin", "/btvga", "v.rom", "/pci", "lan.rom"},
         "",
         "img.bin has no room for a boot-block VGA ROM; nothing is added.\n",
         0},
        {"an answer that names no slot",
         {"img.bin", "/vga", "release"},
         "9\n",
         "The answer \"9\" names no slot of /vga: the run ends here.\n",
         0},
        {"a listing of a text file", {"notes.txt", "/D"}, "", "notes.txt is no BIOS image: its size, Dh bytes", 0},
        {"an add to an empty file", {"empty.bin", "/vga", "v.rom"}, "", "empty.bin is no BIOS image", 0},
        {"an add to an erased dump",
         {"blank.bin", "/vga", "v.rom"},
         "",
         "blank.bin is no BIOS image: no system BIOS component at 20000h; nothing changed\n",
         0},
        {"a missing file in the last group",
         {"img.bin", "/vga", "v.rom", "/pci", "missing.rom"},
         "",
         "Can't open missing.rom file\n",
         0},
        {"a slot that holds no member",
         {"img.bin", "/vga", "extract", "slot=5", "to=out.bin"},
         "",
         "",
         0,
         "Can't found [VGA] ROM..."},
        {"a slot character that is no slot",
         {"img.bin", "/vga", "release", "slot=Q"},
         "",
         "slot=Q names no slot of /vga; the image is unchanged.\n",
         0},
        {"an extract from a text file",
         {"notes.txt", "/vga", "extract", "slot=1", "to=o.rom"},
         "",
         "notes.txt is no BIOS image: its size",
         0},
        {"an ISA segment that is no hexadecimal number",
         {"img.bin", "/isa", "lan.rom", "D8Q0"},
         "",
         "",
         0,
         "Input parameter D8Q0 error."},
        {"/verify of a text file", {"notes.txt", "/verify"}, "", "", 1, "no BIOS image: its size"},
        {"/verify of an image that is not there", {"nosuch.bin", "/verify"}, "", "", 1, "nosuch.bin file not found"},
        {"a switch left without its file",
         {"img.bin", "/vga", "/pci", "lan.rom"},
         "",
         "/vga: no file given; the image is unchanged.\n",
         0},
        {"an empty RomFile", {"img.bin", "/fnt0", "empty.bin"}, "", "empty.bin is empty; nothing is added.\n", 0},
        {"the end of input at the name prompt",
         {"img.bin", "/vga", "extract", "slot=1"},
         "",
         "\nnothing was read; nothing extracted.\n",
         0},
        {"a RomFile larger than any component",
         {"img.bin", "/fnt0", "huge.bin"},
         "",
         "huge.bin is larger than 16 MB, more than a component may hold; nothing is added.\n",
         0},
    };
    for (const Row& row : rows) {
        for (const bool err : {true, false}) {
            SCOPED_TRACE(std::string(row.what) + (err ? ", /err" : ""));
            testkit::WorkDir dir;
            setup();
            const std::string image = row.args[0];
            const Bytes before = bytes_of(image);
            std::vector<std::string> args = row.args;
            if (err) args.push_back("/err");
            testkit::RunOptions o;
            o.input = row.input;
            const testkit::RunResult r = testkit::run_tool(args, o);
            EXPECT_EQ(r.status, err ? 1 : row.status_without_err) << r.out << r.err;
            EXPECT_NE(r.err.find(row.err_has), std::string::npos) << r.err;
            EXPECT_NE(r.out.find(row.out_has), std::string::npos) << r.out;
            if (err) {
                EXPECT_TRUE(bytes_of(image) == before) << "the image changed";
            }
            EXPECT_FALSE(std::filesystem::exists("V1.ROM")) << "a stored name was written";
        }
    }
}

// Runs of three groups under /err with the failure first, in the middle and
// last leave the image as it was; without /err the groups that succeeded
// stay and the fix-ups finish the image, so that /verify finds it clean.
TEST(ExitStatus, AFailedRunChangesNothingWhereverTheFailureComes) {
    const std::vector<std::string> good1 = {"/fnt0", "v.rom"}, good2 = {"/oem1", "lan.rom"};
    const std::vector<std::string> bad = {"/pci", "missing.rom"};
    for (int place = 0; place < 3; ++place) {
        std::vector<std::vector<std::string>> groups = {good1, good2};
        groups.insert(groups.begin() + place, bad);
        for (const bool err : {true, false}) {
            SCOPED_TRACE(std::to_string(place) + (err ? ", /err" : ""));
            testkit::WorkDir dir;
            setup();
            const Bytes before = testkit::slurp("img.bin");
            std::vector<std::string> args = {"img.bin"};
            for (const auto& g : groups) args.insert(args.end(), g.begin(), g.end());
            if (err) args.push_back("/err");
            const testkit::RunResult r = testkit::run_tool(args);
            EXPECT_EQ(r.status, err ? 1 : 0) << r.err;
            const Bytes after = testkit::slurp("img.bin");
            // Without /err the run ends at the missing file: the groups before it stay.
            EXPECT_EQ(after == before, err || place == 0);
            EXPECT_EQ(testkit::run_tool({"img.bin", "/verify"}).status, 0);
        }
    }
}

// out=NEW: the InputFile is only read; NEW holds what the run would have
// made in place, and nothing when the run fails under /err or is a dry run.
TEST(ExitStatus, OutNewLeavesTheInputFileAsItIs) {
    const struct {
        std::vector<std::string> args;
        int status;
        bool written;      // new.bin holds what the same run makes in place
        std::string said;  // on either channel
    } rows[] = {
        {{"/fnt0", "v.rom", "out=new.bin"}, 0, true, ""},
        {{"out=new.bin", "/fnt0", "v.rom", "/vga", "release", "slot=1"}, 0, true, ""},
        {{"/fnt0", "v.rom", "/pci", "missing.rom", "out=new.bin", "/err"}, 1, false, "Can't open missing.rom"},
        {{"/dry", "/fnt0", "v.rom", "out=new.bin"}, 0, false, "write new.bin with the changes below."},
        {{"/fnt0", "v.rom", "out="}, 1, false, "out= needs a file name; nothing was run."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args.back());
        testkit::WorkDir dir;
        setup();
        const Bytes before = testkit::slurp("img.bin");
        std::vector<std::string> args = {"img.bin"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const testkit::RunResult r = testkit::run_tool(args);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_TRUE(testkit::slurp("img.bin") == before);
        EXPECT_NE((r.out + r.err).find(row.said), std::string::npos) << r.out << r.err;
        ASSERT_EQ(std::filesystem::exists("new.bin"), row.written);
        if (!row.written) continue;
        // The same run in place.
        std::vector<std::string> in_place = {"img.bin"};
        for (const std::string& a : row.args)
            if (a.rfind("out=", 0) != 0) in_place.push_back(a);
        ASSERT_EQ(testkit::run_tool(in_place).status, row.status);
        EXPECT_TRUE(testkit::slurp("new.bin") == testkit::slurp("img.bin"));
    }
}

TEST(ExitStatus, ReleaseAndExtractWithoutPrompts) {
    const struct {
        std::vector<std::string> args;
        std::string out_has;
        int status;
        const char* file;  // the extracted file, or nullptr
        std::uint16_t device;
    } rows[] = {
        {{"/vga", "extract", "slot=2", "to=second.rom"},
         "[VGA-2] ROM is extracted to second.rom",
         0,
         "second.rom",
         0x41},
        {{"/vga", "extract", "TO=first.rom", "Slot=1"}, "[VGA-1] ROM is extracted to first.rom", 0, "first.rom", 0x40},
        {{"/vga", "extract", "slot=1", "to=link.rom"}, "[VGA-1] ROM is extracted to link.rom", 0, "real.rom", 0x40},
        {{"/vga", "extract", "slot=1", "to=loop.rom", "/err"}, "", 1, nullptr, 0},
        {{"/vga", "release", "slot=2", "/D"}, "[VGA-2] ROM is release", 0, nullptr, 0},
        {{"/fnt0", "extract", "to=font.bin"}, "Can't found [FNT0] ROM...", 0, nullptr, 0},
        {{"/fnt0", "release", "slot=1", "/err"}, "", 1, nullptr, 0},
        {{"/vga", "release", "to=x.rom", "/err"}, "", 1, nullptr, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[1] + " " + row.args[2]);
        testkit::WorkDir dir;
        setup();
        // Symbolic links are a Linux facility: their rows run there only.
        const bool links = std::ranges::any_of(
            row.args, [](const std::string& a) { return a == "to=link.rom" || a == "to=loop.rom"; });
        if (platform::kWindows && links) continue;
        if (!platform::kWindows) {
            std::filesystem::create_symlink("real.rom", "link.rom");  // a link target is followed, not replaced
            std::filesystem::create_symlink("loop.rom", "loop.rom");  // a link that ends nowhere is refused
        }
        std::vector<std::string> args = {"img.bin"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        testkit::RunOptions o;
        o.input = "9\nwrong.bin\n";  // never read: the words answer the prompts
        const testkit::RunResult r = testkit::run_tool(args, o);
        EXPECT_EQ(r.status, row.status) << r.out << r.err;
        EXPECT_NE(r.out.find(row.out_has), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Enter"), std::string::npos) << r.out;
        EXPECT_FALSE(std::filesystem::exists("wrong.bin"));
        if (!platform::kWindows) {
            EXPECT_TRUE(std::filesystem::is_symlink("link.rom"));
        }
        if (row.file) {
            EXPECT_TRUE(testkit::slurp(row.file) == vga(row.device));
        }
    }
}

// Windows paths: the InputFile with its drive letter and backslashes, a
// RomFile in a folder given with a backslash. The stored name keeps the
// RomFile as typed, and an extract does not take it as its target, since
// it names a folder; a to= path with a backslash is written.
TEST(ExitStatus, WindowsPathsWorkAndStoredNamesKeepThem) {
    if (!platform::kWindows) GTEST_SKIP() << "drive letters and backslashes make Windows paths only";
    testkit::WorkDir dir;
    setup();
    std::filesystem::create_directory("parts");
    testkit::spit("parts/new.rom", vga(0x50));
    std::string image = std::filesystem::absolute("img.bin").string();
    std::replace(image.begin(), image.end(), '/', '\\');
    ASSERT_EQ(image[1], ':') << image;
    const auto added = testkit::run_tool({image, "/vga", "parts\\new.rom", "/err"});
    EXPECT_EQ(added.status, 0) << added.out << added.err;
    EXPECT_NE(testkit::run_tool({image, "/D"}).out.find("parts\\new.rom"), std::string::npos);
    const auto refused = testkit::run_tool({"img.bin", "/vga", "extract", "slot=3", "to=", "/err"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("The stored name \"parts\\new.rom\" is no file name of the current directory"),
              std::string::npos)
        << refused.err;
    const auto written = testkit::run_tool({"img.bin", "/vga", "extract", "slot=3", "to=parts\\back.rom", "/err"});
    EXPECT_EQ(written.status, 0) << written.out << written.err;
    EXPECT_TRUE(bytes_of("parts/back.rom") == vga(0x50));
}

TEST(ExitStatus, VersionAndHelpAlone) {
    testkit::WorkDir dir;
    const auto version = testkit::run_tool({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "MOZAIK32 V1.52 [08/17/05 Release]\n");
    const auto help = testkit::run_tool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Syntax:"), std::string::npos);
    EXPECT_NE(help.out.find("/NVMM       : Add nVIDIA memory moudle"), std::string::npos);
    EXPECT_EQ(help.out.find("Press any key"), std::string::npos);
    // Below the screen, a line for each word it does not show, its operand joined as typed.
    for (const char* word : {"/verify", "/dry", "/other TypeId", "slot=X", "to=FILE", "noreserve", "--version"})
        EXPECT_NE(help.out.find(std::string("\n          ") + word + " "), std::string::npos) << word;
    // With anything else on the command line they are words like any other.
    EXPECT_NE(testkit::run_tool({"--help", "x"}).out.find("Press any key"), std::string::npos);
}

}  // namespace
