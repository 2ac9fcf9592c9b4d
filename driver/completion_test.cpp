// The shell completions the build writes from the catalogue: what bash and
// zsh offer for partial command lines, in a folder with a few files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/file.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

// Completes `line` (the cursor at its end) with the bash script at $1 and
// prints the offers sorted, blank-separated.
const char* const kBash = R"(
source "$1" || exit 1
COMP_LINE=$2; COMP_POINT=${#COMP_LINE}
_mozaik32
for w in "${COMPREPLY[@]}"; do printf '%s\n' "$w"; done | LC_ALL=C sort -u | tr '\n' ' '
)";

// The same with the zsh script, the completion system's builtins replaced by
// functions that print what they are given and match it as zsh would.
const char* const kZsh = R"(
compadd() {
    while (( $# )) && [[ $1 != -- ]]; do shift; done; shift
    local w; for w in "$@"; do [[ ${(L)w} == ${(L)PREFIX}* ]] && print -r -- $w; done
}
_files() { local f; for f in ${PREFIX}*(N); do [[ -d $f ]] && f+=/; print -r -- $f; done }
compset() { [[ $1 == -P ]] && PREFIX=${PREFIX#*=}; return 0 }
compdef() { : }
source $1 || exit 1
line=$2
words=(${(z)line}); [[ $line == *' ' ]] && words+=('')
CURRENT=$#words; PREFIX=$words[CURRENT]
_mozaik32 | LC_ALL=C sort -u | tr '\n' ' '
)";

struct Case {
    const char* line;
    const char* offers;
};

constexpr Case kCases[] = {
    {"mozaik32 /fn", "/fnt0 /fnt1 /fnt2 /fnt3 /fnt4 /fnt5 "},
    {"mozaik32 image.bin /FN", "/fnt0 /fnt1 /fnt2 /fnt3 /fnt4 /fnt5 "},
    {"mozaik32 im", "image.bin "},
    {"mozaik32 --", "--help --version "},
    {"mozaik32 image.bin /vga ", "extract image.bin parts/ release x.rom "},
    {"mozaik32 image.bin /vga ex", "extract "},
    // After the RomFile a switch is expected: "extract" there would end the run.
    {"mozaik32 /vga x.rom ex", ""},
    {"mozaik32 /pci release sl", "slot= "},
    {"mozaik32 /pci release slot=", "A B C D E F G H I J K L M N O P Q R S T U V W X Y Z "},
    {"mozaik32 image.bin /vga extract slot=", "1 2 3 4 5 6 "},
    {"mozaik32 image.bin /isa release slot=", "1 2 3 4 A B C D "},
    {"mozaik32 image.bin /vga extract slot=2 t", "to= "},
    {"mozaik32 image.bin /vga release t", ""},
    {"mozaik32 image.bin /logo extract sl", ""},
    {"mozaik32 image.bin /logo extract to=x", "x.rom "},
    {"mozaik32 image.bin /other ", ""},
    {"mozaik32 image.bin /other D000:0 rel", "release "},
    {"mozaik32 image.bin /isa x.rom D800:0 /p", "/pci "},
    {"mozaik32 image.bin /err /d", "/d /dry "},
    {"mozaik32 image.bin /group3 x.rom /ve", "/ver /verify "},
    {"mozaik32 image.bin nothing /", ""},
    {"mozaik32 image.bin /unp", "/unpack "},
    {"mozaik32 image.bin /unpack ", "image.bin parts/ x.rom "},
    {"mozaik32 image.bin /fnt0 x.rom /unp", ""},
    {"mozaik32 image.bin /vga x.rom na", "name= "},
};

void check_shell(const char* shell, const char* script, const std::string& completion) {
    ASSERT_TRUE(file_exists(completion)) << completion << " was not written by the build";
    for (const Case& c : kCases) {
        const auto r = testkit::run_program(shell, {"-c", script, "completion", completion, c.line});
        EXPECT_EQ(r.status, 0) << shell << ": " << c.line << "\n" << r.err;
        EXPECT_EQ(r.out, c.offers) << shell << ": " << c.line;
        EXPECT_EQ(r.err, "") << shell << ": " << c.line;
    }
}

struct CompletionFolder {
    testkit::WorkDir dir;
    CompletionFolder() {
        testkit::spit("image.bin", std::string("bios"));
        testkit::spit("x.rom", std::string("rom"));
        std::filesystem::create_directory("parts");
    }
};

TEST(Completion, BashOffersWhatMayFollow) {
    MOZAIK_LINUX_ONLY("bash");
    CompletionFolder folder;
    check_shell("/bin/bash", kBash, MOZAIK_COMPLETION_DIR "/mozaik32");
}

TEST(Completion, ZshOffersTheSame) {
    MOZAIK_LINUX_ONLY("zsh");
    ASSERT_TRUE(file_exists("/usr/bin/zsh")) << "no zsh: tools/install-deps.sh installs it";
    CompletionFolder folder;
    check_shell("/usr/bin/zsh", kZsh, MOZAIK_COMPLETION_DIR "/_mozaik32");
}

}  // namespace
