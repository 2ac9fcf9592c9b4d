// Attacks a shared folder and a careless script make on the tool, through
// the real binary: each row plants something, runs the tool, and checks
// what it said, its status, and that no file outside those the command
// named changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "testkit/components.hpp"
#include "testkit/extract_kit.hpp"
#include "testkit/members.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A stored name that would retitle the terminal and ring its bell.
const std::string kHostileName = "\x1b]0;owned\x07X.ROM";

Bytes vga() {
    return testkit::option_rom({.size = 0x800, .device = 0x40});
}

// img.bin holds a VGA ROM stored under the hostile name; other.bin the same
// ROM under a plain one.
void setup() {
    for (const auto& [path, name] :
         {std::pair{"img.bin", kHostileName}, std::pair{"other.bin", std::string("V.ROM")}}) {
        testkit::SyntheticImage img =
            testkit::chain_image({testkit::member_bytes(testkit::packed_member(0x4080, 0, name, vga()))}).image;
        testkit::balance_image(img.bytes, 0, 0x3D000, img.top_base() + 0x1E054);
        img.save(path);
    }
    testkit::spit("victim.txt", std::string("the bytes no run may touch\n"));
}

struct Attack {
    const char* what;
    std::function<void()> plant;  // after setup, before the run
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out_has, err_has;
};

std::string escaped_name() {
    return "\\x1b]0;owned\\x07X.ROM";
}

TEST(Attacks, NothingOutsideTheNamedFilesChangesAndTheToolSaysWhy) {
    const std::vector<Attack> attacks = {
        {"escape bytes of a stored name in the listing", [] {}, {"img.bin", "/D"}, "", 0, escaped_name(), ""},
        {"escape bytes of a stored name at the name prompt",
         [] {},
         {"img.bin", "/vga", "extract", "/err"},
         "v.out\n",
         0,
         "Enter an extract file Name :(" + escaped_name() + ") [VGA-1]",
         ""},
        {"escape bytes of a stored name in /diff", [] {}, {"img.bin", "/diff", "other.bin"}, "", 1, escaped_name(), ""},
#ifndef _WIN32
        {"an extract into a pipe",
         [] { ASSERT_EQ(mkfifo("pipe", 0644), 0); },
         {"img.bin", "/vga", "extract", "slot=1", "to=pipe", "/err"},
         "",
         1,
         "",
         "Can't write pipe: a pipe, a device or a folder; nothing was extracted.\n"},
#endif
    };
    for (const Attack& a : attacks) {
        SCOPED_TRACE(a.what);
        testkit::WorkDir dir;
        setup();
        a.plant();
        std::map<std::string, Bytes> before;
        for (const auto& entry : fs::directory_iterator("."))
            if (entry.is_regular_file())
                before[entry.path().filename().string()] = testkit::slurp(entry.path().string());
        testkit::RunOptions o;
        o.input = a.input;
        const testkit::RunResult r = testkit::run_tool(a.args, o);
        EXPECT_EQ(r.status, a.status) << r.out << r.err;
        EXPECT_NE(r.out.find(a.out_has), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(a.err_has), std::string::npos) << r.err;
        // No control byte from a file reaches the terminal raw.
        for (const std::string* channel : {&r.out, &r.err})
            for (char c : *channel) EXPECT_TRUE(c == '\n' || c == '\r' || static_cast<unsigned char>(c) >= 0x20);
        // Only the image an add was allowed to change, and the extract's own target, may differ.
        for (const auto& [name, bytes] : before) {
            if (name == "img.bin" && a.status == 0) continue;
            EXPECT_TRUE(testkit::slurp(name) == bytes) << name << " changed";
        }
    }
}

}  // namespace
