// The command line through the real binary: forms, usage, exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file.hpp"
#include "common/platform.hpp"
#include "testkit/components.hpp"
#include "testkit/extract_kit.hpp"
#include "testkit/image_builder.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

using testkit::run_tool;
using testkit::RunOptions;

const std::string kBanner = "MOZAIK32 V1.52 [08/17/05 Release]\n";

std::string usage_text(const std::string& name, bool long_form) {
    std::string t = "Syntax:\n";
    t += "     " + name + " InputFile [/other] [8000:0] [RomFile|Release|Extract]\n";
    t += "     " + name + " InputFile [/D|logo|vga....] [RomFile|Release|Extract]\n";
    t += "          InputFile   : System BIOS to be added with Option ROMs\n"
         "          /D          : For display all combined ROMs informations in BIOS\n"
         "          /epa|epa1-7 : Add EPA LOGO BitMap to System BIOS\n"
         "          /logo|logo1-7: Add OEM LOGO BitMap to System BIOS\n"
         "          /osb_logo|osb_logo1-7: Add OSB LOGO BitMap to System BIOS\n"
         "          /osb_bmp|osb_bmp1-7: Add OSB CPU BitMap to System BIOS\n"
         "          /oem0-7     : Add special OEM ROM to System BIOS\n"
         "          /err        : Return error code after executed\n"
         "          /btvga      : Add VGA ROM to Boot Rom Block Area.\n"
         "          /isa        : Add ISA BIOS ROM to System BIOS.(/isa Filename [xxxx:0])\n"
         "          /vga, /logo, /pci, /krvflash, /cpucode, /epa, /acpitbl, /vsa, /hpm\n"
         "          /hpc, /fnt0 - 5, /ros, /nnoprom, /mib, /group0-5, /NoCompress\n"
         "          /jpeg|jpeg1-3: Add JPEG LOGO to System BIOS\n"
         "          /rpb        : Add RPB ROM to System BIOS\n"
         "          /ver        : Add version table of source code to System BIOS\n"
         "          /jpeg_eng   : Add JPEG engine to System BIOS\n"
         "          /nc_cpucode : Add non-compress cpu code\n"
         "  - Page - [Press any key....]\n"
         "          /srom0-4    : Add software ROM\n"
         "          /setup0-1   : Add setup ROM\n"
         "          /biosf0-9   : Add BIOS feature ROM\n"
         "          /GV3        : Add GV3 ROM\n"
         "          /CALS       : Calculate ROM Compress size but not add ROM in BIN file\n"
         "          /NVMM       : Add nVIDIA memory moudle\n"
         "          RomFile     : File name of option ROM to add-in\n"
         "          noreserve   : No reserve system color for BMP logo\n"
         "          Release     : Release option ROM in current system BIOS\n"
         "          Extract     : Extract option ROM to File in current system BIOS\n"
         "                      <<< Examples >>>\n";
    t += "            " + name + " 6a69s000.bin /D\n";
    t += "            " + name + " 6a69s000.bin /VGA filename\n";
    t += "            " + name + " 6a69s000.bin /VGA filename /ERR";
    if (long_form) t += "\n";
    return t;
}

RunOptions named(const std::string& argv0) {
    RunOptions o;
    o.argv0 = argv0;
    o.unset_env = {"_last"};
    return o;
}

TEST(Usage, NoArgumentShowsBannerAndUsageWithoutWaiting) {
    auto r = run_tool({}, named("mozaik32"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + usage_text("mozaik32", false));
    EXPECT_EQ(r.err, "");
}

// Runs the tool without arguments on a pseudo-terminal, answers the page
// prompt with Ctrl-C and prints the exit status, whether the second page
// came, and whether the terminal echoes again afterwards.
const char* const kPagePromptOnATerminal = R"(
import os, pty, select, sys, termios, time
pid, fd = pty.fork()
if pid == 0:
    os.environ.pop('_last', None)
    os.execv(sys.argv[1], ['mozaik32'])
out, end = b'', time.time() + 10
def read_some(wait):
    global out
    if select.select([fd], [], [], wait)[0]:
        try: out += os.read(fd, 4096)
        except OSError: pass
while b'Press any key' not in out and time.time() < end: read_some(0.05)
# The key is sent once the tool has switched the terminal to no echo.
while termios.tcgetattr(fd)[3] & termios.ECHO and time.time() < end: time.sleep(0.01)
os.write(fd, b'\x03')
_, status = os.waitpid(pid, 0)
read_some(0.2)
echo = bool(termios.tcgetattr(fd)[3] & termios.ECHO)
code = os.WEXITSTATUS(status) if os.WIFEXITED(status) else -1
print(code, b'Add software ROM' in out, echo)
)";

TEST(Usage, CtrlCAtThePagePromptIsAKeyAndTheTerminalKeepsItsEcho) {
    MOZAIK_LINUX_ONLY("a pseudo-terminal driven by Python");
    MOZAIK_NEEDS(file_exists("/usr/bin/python3"), "no /usr/bin/python3 to drive a pseudo-terminal");
    auto r = testkit::run_program("/usr/bin/python3", {"-c", kPagePromptOnATerminal, MOZAIK32_BINARY});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0 True True\n");
}

TEST(Usage, ProgramPathForms) {
    // 19 characters: printed whole.
    auto whole = run_tool({}, named("tools/bin/mozaik32x"));
    EXPECT_EQ(whole.out, kBanner + usage_text("tools/bin/mozaik32x", false));
    // Longer, with backslashes: drive letter and the last component.
    auto dos = run_tool({}, named("C:\\TOOLS\\BIOS\\MOZAIK32.EXE"));
    EXPECT_EQ(dos.out, kBanner + usage_text("C:\\...\\MOZAIK32.EXE", true));
    // Longer, without backslashes: the part after the last slash.
    auto unix_path = run_tool({}, named("/usr/local/bin/mozaik32"));
    EXPECT_EQ(unix_path.out, kBanner + usage_text("mozaik32", false));
}

TEST(Usage, CommandLinesThatFitNeitherForm) {
    testkit::WorkDir dir;
    testkit::spit("bios.bin", std::vector<std::uint8_t>(0x40000, 0xFF));
    testkit::spit("a.rom", std::string("x"));
    const std::string usage = kBanner + usage_text("mozaik32", false);
    for (std::vector<std::string> args : {std::vector<std::string>{"bios.bin", "/D", "extra"},
                                          {"bios.bin", "/vga"},
                                          {"bios.bin", "/err"},
                                          {"bios.bin", "/nothing", "a.rom"},
                                          {"bios.bin", "/btvga"},
                                          {"/vga"}}) {
        auto r = run_tool(args, named("mozaik32"));
        // Under /err a command line that fits neither form is a failed run.
        EXPECT_EQ(r.status, std::find(args.begin(), args.end(), "/err") != args.end() ? 1 : 0) << args.back();
        EXPECT_EQ(r.out, usage) << args.back();
    }
}

TEST(Forms, LastFormNeedsTheVariable) {
    testkit::WorkDir dir;
    auto unset = run_tool({"/D"}, named("mozaik32"));
    EXPECT_EQ(unset.status, 0);
    EXPECT_EQ(unset.out, kBanner + "Not settype so unknow BIOS file name...");
    EXPECT_EQ(run_tool({"/D", "/err"}, named("mozaik32")).status, 1);

    RunOptions with_last = named("mozaik32");
    with_last.env = {{"_last", "6a69s000"}};
    with_last.unset_env.clear();
    auto missing = run_tool({"/D"}, with_last);
    EXPECT_EQ(missing.out, kBanner + "6a69s000.bin file not found");
    EXPECT_EQ(missing.status, 0);

    // Windows reads an environment variable's name in any case, Linux as written.
    RunOptions upper = named("mozaik32");
    upper.env = {{"_LAST", "6a69s000"}};
    EXPECT_EQ(run_tool({"/D"}, upper).out, kBanner + (platform::kWindows ? "6a69s000.bin file not found"
                                                                         : "Not settype so unknow BIOS file name..."));

    testkit::spit("6a69s000.bin", std::vector<std::uint8_t>(0x40000, 0xFF));
    auto listed = run_tool({"/D"}, with_last);
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out.find("file not found"), std::string::npos);
    EXPECT_EQ(listed.out.find("Syntax:"), std::string::npos);
}

TEST(Forms, MissingInputFileEndsWithStatusOneUnderErr) {
    testkit::WorkDir dir;
    for (bool err : {false, true}) {
        std::vector<std::string> args = {"nothere.bin", "/vga", "a.rom"};
        if (err) args.push_back("/err");
        auto r = run_tool(args, named("mozaik32"));
        EXPECT_EQ(r.status, err ? 1 : 0);
        EXPECT_EQ(r.out, kBanner + "nothere.bin file not found");
    }
}

TEST(Forms, LoneSwitchesThatMayStandAlone) {
    testkit::WorkDir dir;
    testkit::spit("bios.bin", std::vector<std::uint8_t>(0x40000, 0xFF));
    auto r = run_tool({"bios.bin", "/cpucode"}, named("mozaik32"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("Syntax:"), std::string::npos);
}

TEST(Errors, UnopenableRomFileFailsTheKindUnderErr) {
    testkit::WorkDir dir;
    testkit::spit("bios.bin", std::vector<std::uint8_t>(0x40000, 0xFF));
    testkit::spit("b.rom", std::string("x"));
    auto with_err = run_tool({"bios.bin", "/vga", "missing.rom", "/pci", "b.rom", "/err"}, named("mozaik32"));
    EXPECT_EQ(with_err.status, 1);
    EXPECT_EQ(with_err.out, kBanner + "\n");
    EXPECT_EQ(with_err.err, "Can't open missing.rom file\n\n!!! Combine VGA have some error.\n");

    auto without = run_tool({"bios.bin", "/vga", "missing.rom", "/pci", "b.rom"}, named("mozaik32"));
    EXPECT_EQ(without.status, 0);
    EXPECT_EQ(without.out, kBanner);
    EXPECT_EQ(without.err, "Can't open missing.rom file\n\n");

    // A folder is no file to add, whatever the kind.
    std::filesystem::create_directory("parts");
    const auto before = testkit::slurp("bios.bin");
    for (const char* kind : {"/fnt0", "/NC_CPUCODE", "/NVMM", "/CALS"}) {
        auto folder = run_tool({"bios.bin", kind, "parts", "/err"}, named("mozaik32"));
        EXPECT_EQ(folder.status, 1) << kind;
        EXPECT_EQ(folder.err.rfind("Can't open parts file\n\n!!! Combine ", 0), 0u) << folder.err;
        EXPECT_EQ(testkit::slurp("bios.bin"), before) << kind;
    }
}

TEST(Errors, BadOtherOperandEndsTheRunBeforeAnything) {
    testkit::WorkDir dir;
    testkit::spit("bios.bin", std::vector<std::uint8_t>(0x40000, 0xFF));
    testkit::spit("a.rom", std::string("x"));
    auto r = run_tool({"bios.bin", "/other", "D0X0:0", "a.rom"}, named("mozaik32"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + "Input parameter D0X0:0 error.");
    EXPECT_EQ(r.err, "");
    // Under /err nothing was added, so the run must not look like a success.
    auto err = run_tool({"bios.bin", "/other", "D0X0:0", "a.rom", "/err"}, named("mozaik32"));
    EXPECT_EQ(err.status, 1);
    EXPECT_EQ(err.out, kBanner + "Input parameter D0X0:0 error.\n");
    EXPECT_EQ(err.err, "!!! Combine Other have some error.\n");
}

TEST(Errors, RomFileNamesUpToSixtyThreeCharacters) {
    testkit::WorkDir dir;
    testkit::spit("bios.bin", std::vector<std::uint8_t>(0x40000, 0xFF));
    const std::string ok_name(63, 'a'), long_name(64, 'b');
    testkit::spit(ok_name, std::string("x"));
    testkit::spit(long_name, std::string("x"));
    auto ok = run_tool({"bios.bin", "/vga", ok_name, "/err"}, named("mozaik32"));
    EXPECT_EQ(ok.err.find("longer than"), std::string::npos);
    auto rejected = run_tool({"bios.bin", "/vga", long_name, "/err"}, named("mozaik32"));
    EXPECT_EQ(rejected.status, 1);
    // The message is wider than the console: join its wrapped lines.
    std::string joined = rejected.err;
    joined.erase(std::remove(joined.begin(), joined.end(), '\n'), joined.end());
    EXPECT_NE(joined.find("File name " + long_name + " is longer than 63 characters"), std::string::npos);
    EXPECT_NE(rejected.err.find("!!! Combine VGA have some error.\n"), std::string::npos);
}

TEST(Errors, GroupNumberAboveTwentySixIsRejected) {
    testkit::WorkDir dir;
    testkit::spit("bios.bin", std::vector<std::uint8_t>(0x40000, 0xFF));
    testkit::spit("a.rom", std::string("x"));
    auto r = run_tool({"bios.bin", "/GROUP27", "a.rom", "/err"}, named("mozaik32"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Input parameter /group27 error"), std::string::npos);
    EXPECT_NE(r.err.find("!!! Combine GROUP have some error.\n"), std::string::npos);
}

TEST(BadInput, TinyAndOddFilesNeverCrash) {
    testkit::WorkDir dir;
    testkit::spit("a.rom", std::string("x"));
    for (std::size_t size : {0u, 1u, 0x10000u, 0x20001u, 0x3FFFFu}) {
        testkit::spit("odd.bin", std::vector<std::uint8_t>(size, 0xFF));
        for (std::vector<std::string> args : {std::vector<std::string>{"odd.bin", "/D"},
                                              {"odd.bin", "/vga", "a.rom"},
                                              {"odd.bin", "/pci", "release"},
                                              {"odd.bin", "/vga", "extract"}}) {
            auto r = run_tool(args, named("mozaik32"));
            EXPECT_EQ(r.status, 0) << size << " " << args[1];
            EXPECT_EQ(r.out.rfind(kBanner, 0), 0u);
        }
    }
}

}  // namespace

namespace {

// Each group that packs a component says so once on standard output
// ("Adding %s "), which lets these tests count the groups handled.
int adds(const testkit::RunResult& r) {
    int n = 0;
    for (std::size_t at = r.out.find("Adding "); at != std::string::npos; at = r.out.find("Adding ", at + 1)) ++n;
    return n;
}

struct LoopImage {
    testkit::WorkDir dir;
    LoopImage() {
        testkit::chain_image({}).image.save("bios.bin");
        testkit::spit("a.rom", testkit::option_rom({.size = 0x800, .build = 1}));
        testkit::spit("b.rom", testkit::option_rom({.size = 0x800, .device = 0x41, .build = 2}));
    }
};

TEST(OptionLoop, IsaSegmentOperandIsSteppedOver) {
    LoopImage img;
    auto with = run_tool({"bios.bin", "/isa", "a.rom", "D800:0", "/vga", "b.rom"}, named("mozaik32"));
    EXPECT_EQ(adds(with), 2);
    auto without = run_tool({"bios.bin", "/isa", "a.rom", "/vga", "b.rom"}, named("mozaik32"));
    EXPECT_EQ(adds(without), 2);
    // A bad character: the digits before it count and the group goes on.
    auto bad = run_tool({"bios.bin", "/isa", "a.rom", "D8G0:0", "/vga", "b.rom"}, named("mozaik32"));
    EXPECT_EQ(bad.out.rfind(kBanner + "Input parameter D8G0:0 error.Adding a.rom ", 0), 0u) << bad.out;
    EXPECT_EQ(adds(bad), 2);
}

TEST(OptionLoop, OtherStepsOverItsOperand) {
    LoopImage img;
    auto r = run_tool({"bios.bin", "/other", "D000:0", "a.rom", "/vga", "b.rom"}, named("mozaik32"));
    EXPECT_EQ(adds(r), 2);
    // a.rom under the operand's TypeId, b.rom under the VGA kind's: the
    // operand was taken as /other's, not as a RomFile.
    const std::string json = run_tool({"bios.bin", "/json"}).out;
    const std::size_t other = json.find("\"D000:0000\""), vga = json.find("\"4080:0000\"");
    EXPECT_NE(other, std::string::npos) << json;
    EXPECT_NE(vga, std::string::npos) << json;
    EXPECT_LT(other, vga) << "chain order";
    EXPECT_EQ(json.find("\"D000:0000\"", other + 1), std::string::npos);
}

TEST(OptionLoop, WordsThatAreNoSwitchEndTheRunButCommandWordsArePassedOver) {
    LoopImage img;
    // A "/group" with digits after the first group is no switch.
    auto group = run_tool({"bios.bin", "/vga", "a.rom", "/group4", "b.rom", "/pci", "b.rom"}, named("mozaik32"));
    EXPECT_EQ(adds(group), 1);
    EXPECT_EQ(group.err, "Unknown option /group4: the run ends here\n");
    EXPECT_EQ(group.status, 0);
    // "noreserve" in the explicit form and "/err" anywhere are words of the
    // whole command line: the groups after them run (and after a lone switch
    // they are no file).
    auto word = run_tool({"bios.bin", "/logo", "a.rom", "noreserve", "/vga", "b.rom"}, named("mozaik32"));
    EXPECT_EQ(adds(word), 2);
    EXPECT_EQ(word.err, "");
    auto err = run_tool({"bios.bin", "/vga", "a.rom", "/err", "/pci", "missing.rom"}, named("mozaik32"));
    EXPECT_EQ(adds(err), 1);
    EXPECT_EQ(err.status, 1);
    EXPECT_NE(err.err.find("Can't open missing.rom file"), std::string::npos) << err.err;
    // Before the first switch too.
    for (const char* first : {"/err", "/best", "noreserve"}) {
        auto before = run_tool({"bios.bin", first, "/vga", "a.rom", "/pci", "b.rom"}, named("mozaik32"));
        EXPECT_EQ(adds(before), 2) << first << before.out;
        EXPECT_EQ(before.status, 0) << first << before.err;
    }
    auto lone = run_tool({"bios.bin", "/cpucode", "/err"}, named("mozaik32"));
    EXPECT_EQ(lone.err.rfind("CPUCODE.EXE file open error !!!\n", 0), 0u) << lone.err;
}

TEST(OptionLoop, ListingAfterAddsAndAWordAfterALaterListingIsNoFile) {
    LoopImage img;
    auto r = run_tool({"bios.bin", "/vga", "a.rom", "/pci", "b.rom", "/D"}, named("mozaik32"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(adds(r), 2);
    EXPECT_NE(r.out.find("bios.bin BIOS component"), std::string::npos);
    // /D takes no file: the listing is made, and the word after it, being no
    // switch, ends the run instead of being added as a component.
    for (const char* word : {"b.rom", "release", "extract"}) {
        auto later = run_tool({"bios.bin", "/vga", "a.rom", "/D", word, "/pci", "b.rom"}, named("mozaik32"));
        EXPECT_EQ(later.status, 0);
        EXPECT_EQ(adds(later), 1) << word;
        EXPECT_NE(later.out.find("bios.bin BIOS component"), std::string::npos) << word;
        EXPECT_EQ(later.err.find("Can't"), std::string::npos) << later.err;
    }
}

TEST(OptionLoop, LoneSwitchAdvancesByOne) {
    LoopImage img;
    auto r = run_tool({"bios.bin", "/cpucode", "/vga", "a.rom", "/acpi"}, named("mozaik32"));
    // Three groups: two lone switches whose default files are missing, one add.
    EXPECT_EQ(adds(r), 1);
    EXPECT_EQ(r.err, "CPUCODE.EXE file open error !!!\nCan't open ACPITBL.BIN\nNot found ACPITBL.BIN file !!!\n");
}

}  // namespace

namespace {

TEST(Fatal, CodecErrorEndsTheRunWithStatusOneEvenWithoutErr) {
    testkit::WorkDir dir;
    testkit::SyntheticImage img(256 * testkit::KB);
    img.put_member(0, testkit::stored_member(0x5000, 0, "SYSBIOS.BIN", 0x9000));
    const std::uint32_t vga = 0x10000;
    img.put_member(vga, testkit::stored_member(0x4080, 0, "VGA.ROM", 0x800));
    img.put8(vga + 1, static_cast<std::uint8_t>(img.bytes[vga + 1] + 1));  // header sum off by one
    img.save("bios.bin");
    const auto before = testkit::slurp("bios.bin");

    RunOptions answers = named("mozaik32");
    answers.input = "out.rom\n";
    auto r = run_tool({"bios.bin", "/vga", "extract"}, answers);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.ends_with("Header sum error\n")) << r.out;
    EXPECT_EQ(r.out.find("!!! Combine"), std::string::npos);
    EXPECT_FALSE(file_exists("out.rom"));
    EXPECT_EQ(testkit::slurp("bios.bin"), before);
}

}  // namespace
