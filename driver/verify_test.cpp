// /verify on an image the add pipeline built, clean and then damaged at
// chosen offsets; the extract's CRC check; read-only images; the page
// prompt with standard output redirected.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/file.hpp"
#include "insert/add_testing.hpp"
#include "testkit/components.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/microcode_builder.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using add_testing::Member;

// img.bin: a VGA ROM, a font, an uncompressed table and a top microcode
// block added by the tool to a chain image with a "*BS1" record.
std::vector<Member> build_image() {
    testkit::chain_image({}, testkit::kChainImageAreaEnd).image.save("img.bin");
    testkit::spit("vga.rom", testkit::option_rom({.size = 0x2000}));
    Bytes font(0x1000);
    for (std::size_t i = 0; i < font.size(); ++i) font[i] = static_cast<std::uint8_t>(i % 7);
    testkit::spit("font.bin", font);
    testkit::spit("tbl.bin", Bytes(0x100, 0x33));
    testkit::spit("cpu.exe", testkit::dos_executable(testkit::intel_microcode({})));
    const auto r =
        add_testing::tool({"/vga", "vga.rom", "/fnt0", "font.bin", "/NoCompress", "tbl.bin", "/NC_CPUCODE", "cpu.exe"});
    EXPECT_EQ(r.status, 0) << r.err;
    return add_testing::chain_of(testkit::slurp("img.bin"));
}

bool seven_zip_accepts(const Member& m) {
    Bytes archive = m.bytes;
    archive.push_back(0);
    testkit::spit("one.lzh", archive);
    return testkit::run_program("/usr/bin/7z", {"t", "one.lzh"}).status == 0;
}

// A finding's text led by an offset, as /verify prints it.
std::string at(std::size_t offset, const std::string& text) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%05Xh", static_cast<unsigned>(offset));
    return text.ends_with("at") ? text + " " + buf : std::string(buf) + " " + text;
}

struct Damage {
    const char* what;
    std::function<void(Bytes& img, const std::vector<Member>& chain)> apply;
    std::string finding;  // a line of the report
    int member = -1;      // the member 7z must refuse afterwards; -1: none
};

TEST(Verify, NamesEachDamageWithItsOffset) {
    testkit::WorkDir dir;
    const std::vector<Member> chain = build_image();
    ASSERT_EQ(chain.size(), 3u);
    const Bytes clean = testkit::slurp("img.bin");
    const auto clean_run = add_testing::tool({"/verify"});
    EXPECT_EQ(clean_run.status, 0) << clean_run.out;
    EXPECT_TRUE(clean_run.out.ends_with("4 members checked, 0 problems found\n")) << clean_run.out;
    EXPECT_EQ(add_testing::tool({"/verify", "/err"}).status, 0);  // /err may follow, as in every build script
    // After an add in the same run the image is checked as the run leaves it.
    testkit::spit("extra.bin", Bytes(0x200, 0x44));
    const auto after_add = add_testing::tool({"/fnt2", "extra.bin", "/verify"});
    EXPECT_TRUE(after_add.out.ends_with("5 members checked, 0 problems found\n")) << after_add.out;
    testkit::spit("img.bin", clean);
    EXPECT_TRUE(testkit::slurp("img.bin") == clean) << "/verify changed the image";

    const std::uint32_t top = testkit::kChainImageAreaEnd - 32 - 0x800;
    const std::vector<Damage> cases = {
        {"a data byte of a compressed member", [](Bytes& img, const auto& c) { img[c[0].position + 60] ^= 0x10; },
         "10000h VGA ROM[1]", 0},
        {"a data byte of a stored member",
         [](Bytes& img, const auto& c) {
             img[c[2].position + img[c[2].position] + 2 + 5] ^= 1;  // /NoCompress data: no CRC recorded
             img[0x100] ^= 1;                                       // the system BIOS: stored, with a CRC
         },
         "00000h System BIOS      -lh0- 09000h 09000h sum 2Fh CRC B42Eh data CRC is"},
        {"a header sum", [](Bytes& img, const auto& c) { img[c[1].position + 1] += 1; },
         at(chain[1].position, "FNT0 ROM         -lh5- 01000h 00016h sum EEh CRC B500h sum should be EDh"), 1},
        {"a packed size that runs past the file", [](Bytes& img, const auto& c) { img[c[1].position + 9] = 0x04; },
         at(chain[1].position, "chain damaged at"), -1},
        {"a packed size that runs past the area",
         [](Bytes& img, const auto& c) {
             const std::uint32_t packed = 0x2A700;  // the member then ends inside the top block
             for (int i = 0; i < 4; ++i) img[c[1].position + 7 + i] = static_cast<std::uint8_t>(packed >> (8 * i));
         },
         at(chain[1].position, "the component at") + " runs past the area's end, 3A7E0h", -1},
        {"a stray byte behind the chain",
         [](Bytes& img, const auto& c) { img[c[2].position + c[2].bytes.size() + 0x100] = 0x00; },
         at(chain[2].position + chain[2].bytes.size() + 0x100, "bytes at") + " behind it are not erased", -1},
        {"a wrong check byte", [](Bytes& img, const auto&) { img[0x3DFFE] += 1; }, "check byte at 3DFFEh is", -1},
        {"a word sum that is not 0", [](Bytes& img, const auto&) { img[0x3E100] ^= 0x40; }, "should be 0000h", -1},
        {"a *BS1 pointer that misses the block",
         [&](Bytes& img, const auto&) {
             const std::uint32_t where = 256 * testkit::KB - 0x4800 + 11;
             const std::uint32_t wrong = top + 0x10 - 256 * testkit::KB;
             for (int i = 0; i < 4; ++i) img[where + i] = static_cast<std::uint8_t>(wrong >> (8 * i));
         },
         "*BS1 points at 3A7F0h, not at the top block", -1},
        {"a damaged trailer of the top block",
         [&](Bytes& img, const auto&) { img[testkit::kChainImageAreaEnd - 30] = 'x'; },
         "top block trailer at 3AFE0h is damaged", -1},
        {"a byte of the top block's microcode record", [&](Bytes& img, const auto&) { img[top + 0x100] ^= 1; },
         "NCPUCODE.BIN at 3A7E0h: record at 00000h sums to FFFFFFFFh", -1},
        {"a top block lost, its *BS1 pointer left",
         [&](Bytes& img, const auto&) {
             std::fill(img.begin() + top, img.begin() + testkit::kChainImageAreaEnd, 0xFF);
         },
         "*BS1 points at 3A7E0h, below the area's end 3B000h, but no top block ends there", -1},
        {"a file one 64 KB piece longer than a ROM",
         [](Bytes& img, const auto&) { img.resize(img.size() + 0x10000, 0xFF); },
         "img.bin is 327680 bytes: an image is 128K, 256K, 512K or 1M", -1},
    };
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.what);
        Bytes img = clean;
        d.apply(img, chain);
        testkit::spit("img.bin", img);
        const auto r = add_testing::tool({"/verify"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find(d.finding), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(", 0 problems found"), std::string::npos) << r.out;
        if (d.member >= 0 && testkit::find_on_path("7z")) {
            EXPECT_TRUE(seven_zip_accepts(chain[static_cast<std::size_t>(d.member)]));  // as it was
            EXPECT_FALSE(seven_zip_accepts(add_testing::chain_of(img)[static_cast<std::size_t>(d.member)]));
        }
        EXPECT_TRUE(testkit::slurp("img.bin") == img) << "/verify changed the image";
    }
}

// The checksum block as the last 4 KB of the compressed area: its check
// bytes stand inside the area, are never part of the chain, and keep the
// image clean through an add, a listing, an extract and a release.
TEST(Verify, ChecksumBlockAtTheAreaEndIsBookkeeping) {
    testkit::WorkDir dir;
    ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"img.bin", "--size", "512K", "--checksum-at-end"}).status, 0);
    testkit::spit("font.bin", Bytes(0x1000, 0x18));
    const struct {
        std::vector<std::string> args;
        std::string out_has;
    } steps[] = {
        {{"/verify"}, "erased space up to 7AFFEh"},
        {{"/fnt0", "font.bin"}, "Adding font.bin"},
        {{"/D"}, "FNT0 ROM"},
        {{"/fnt0", "extract"}, "[FNT0] ROM is extracted to out.bin"},
        {{"/vga", "release"}, "[VGA-1] ROM is release"},
        {{"/verify"}, "check byte at 7AFFEh: ok"},
    };
    for (const auto& step : steps) {
        testkit::RunOptions o;
        o.input = "out.bin\n";
        std::vector<std::string> args = {"img.bin"};
        args.insert(args.end(), step.args.begin(), step.args.end());
        const auto r = testkit::run_tool(args, o);
        EXPECT_EQ(r.status, 0) << step.args[0] << r.out << r.err;
        EXPECT_NE(r.out.find(step.out_has), std::string::npos) << r.out;
        const auto check = add_testing::tool({"/verify"});
        EXPECT_TRUE(check.out.ends_with(" 0 problems found\n")) << step.args[0] << check.out;
    }
    EXPECT_EQ(testkit::slurp("out.bin"), Bytes(0x1000, 0x18));
}

TEST(Verify, ExtractSaysWhenTheCrcIsWrong) {
    testkit::WorkDir dir;
    build_image();
    testkit::spit("body.exe", testkit::dos_executable(Bytes(0x300, 0x21)));
    ASSERT_EQ(add_testing::tool({"/fnt1", "body.exe"}).status, 0);  // a stored member, with its CRC
    const Member stored = add_testing::chain_of(testkit::slurp("img.bin")).back();
    ASSERT_EQ(stored.method, "-lh0-");
    Bytes img = testkit::slurp("img.bin");
    img[stored.position + stored.bytes[0] + 2 + 10] ^= 0x08;
    testkit::spit("img.bin", img);
    testkit::RunOptions answer;
    answer.input = "out.bin\n";
    const auto r = testkit::run_tool({"img.bin", "/fnt1", "extract", "/err"}, answer);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("CRC error in out.bin: the extracted bytes are damaged\n"), std::string::npos) << r.err;
    EXPECT_TRUE(file_exists("out.bin"));  // the bytes are there for the engineer
}

TEST(Verify, ReadOnlyImagesAreReadAndNeverChanged) {
    MOZAIK_LINUX_ONLY("file modes and setpriv (Wine run as root writes read-only files)");
    MOZAIK_NEEDS(!testkit::running_as_root() || testkit::find_on_path("setpriv"), "no setpriv to drop root");
    testkit::WorkDir dir;
    build_image();
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    std::filesystem::permissions("img.bin", std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                                std::filesystem::perms::others_read);
    const Bytes before = testkit::slurp("img.bin");
    // As a user who may read the image but not write it.
    const auto as_reader = [](std::vector<std::string> args, const std::string& input = "") {
        testkit::RunOptions o;
        o.input = input;
        if (!testkit::running_as_root()) return testkit::run_tool(args, o);
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", MOZAIK32_BINARY});
        return testkit::run_program(*testkit::find_on_path("setpriv"), args, o);
    };
    EXPECT_EQ(as_reader({"img.bin", "/D"}).status, 0);
    EXPECT_EQ(as_reader({"img.bin", "/verify"}).status, 0);
    EXPECT_EQ(as_reader({"img.bin", "/fnt0", "extract"}, "font_out.bin\n").status, 0);
    for (std::vector<std::string> args : {std::vector<std::string>{"img.bin", "/fnt1", "font.bin", "/err"},
                                          {"img.bin", "/fnt0", "release", "/err"},
                                          {"img.bin", "/cpucode", "/D", "/err"}}) {
        const auto r = as_reader(args);
        EXPECT_EQ(r.status, 1) << args[1];
        EXPECT_TRUE(r.err.starts_with("img.bin is read-only: nothing changed\n")) << r.err;
    }
    EXPECT_TRUE(testkit::slurp("img.bin") == before);
    EXPECT_TRUE(as_reader({"gone.bin", "/D"}).out.ends_with("gone.bin file not found"));
    std::filesystem::create_directory("folder");
    EXPECT_TRUE(as_reader({"folder", "/D"}).out.ends_with("folder file not found"));
}

// The usage screen with a terminal on standard input and a file on standard
// output: the prompt is printed and the tool does not wait for a key.
TEST(Verify, PagePromptDoesNotWaitWhenOutputIsNoTerminal) {
    MOZAIK_LINUX_ONLY("a pseudo-terminal driven by Python");
    MOZAIK_NEEDS(file_exists("/usr/bin/python3"), "no /usr/bin/python3 to drive a pseudo-terminal");
    const char* script = R"(
import os, pty, sys, time
pid, fd = pty.fork()
if pid == 0:
    out = os.open('usage.txt', os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
    os.dup2(out, 1)
    os.environ.pop('_last', None)
    os.execv(sys.argv[1], ['mozaik32'])
end = time.time() + 5
while time.time() < end:
    done, status = os.waitpid(pid, os.WNOHANG)
    if done: break
    time.sleep(0.02)
else:
    os.kill(pid, 9); os.waitpid(pid, 0); print('waited'); sys.exit(0)
print('done', b'Add software ROM' in open('usage.txt', 'rb').read())
)";
    testkit::WorkDir dir;
    const auto r = testkit::run_program("/usr/bin/python3", {"-c", script, MOZAIK32_BINARY});
    EXPECT_EQ(r.out, "done True\n") << r.err;
}

}  // namespace
