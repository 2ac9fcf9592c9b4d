// Work files and targets that cannot be written, through the real binary:
// every failure is reported, fails the kind, claims nothing, leaves the
// image byte-identical and leaves no work file that is not named.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/file.hpp"
#include "testkit/corpus.hpp"
#include "testkit/extract_kit.hpp"
#include "testkit/members.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

namespace fs = std::filesystem;

// A 256-colour LogoImage of 8 x 2 pixels.
std::vector<std::uint8_t> small_logo() {
    std::vector<std::uint8_t> v = {'K', 'R', 'B', 'M', 8, 0, 2, 0};
    for (int i = 0; i < 16; ++i) v.push_back(static_cast<std::uint8_t>(i));
    for (char c : std::string("RGB ")) v.push_back(static_cast<std::uint8_t>(c));
    for (int i = 0; i < 256 * 3; ++i) v.push_back(static_cast<std::uint8_t>(i % 64));
    return v;
}

// A folder with something in it: no file can be made, renamed or removed there.
void busy_folder(const char* name) { fs::create_directories(std::string(name) + "/inside"); }

void full_device(const char* name) {
    if (fs::exists(name) || fs::is_symlink(name)) fs::remove(name);
    fs::create_symlink("/dev/full", name);
}

TEST(FailingDisk, EveryWriteFailureIsReportedAndTheImageStaysAsItWas) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string input;
        std::function<void()> break_disk;
        std::vector<std::string> out_lacks;  // claims a failed run must not make
        std::string err_has;
        std::vector<const char*> gone;       // work files that must not be left
        int status_without_err = 1;          // /CALS fails its kind only: status 1 under /err
    } rows[] = {
        {"/logo extract, no room for the bitmap", {"/logo", "extract"}, "MYLOGO.BMP\n",
         [] { busy_folder("StdBMP.BMP"); }, {"is extracted"},
         " !! Can't write StdBMP.BMP !!\nThe [Logo] ROM is not extracted; MYLOGO.BMP is unchanged.\n",
         {"original.tmp", "FILE_BUF.BIN"}},
        {"/epa extract, no room for the bitmap", {"/epa", "extract"}, "MYLOGO.BMP\n",
         [] { busy_folder("StdBMP.BMP"); }, {"is extracted"},
         " !! Can't write StdBMP.BMP !!\nThe [EPA] ROM is not extracted; MYLOGO.BMP is unchanged.\n",
         {"original.tmp", "FILE_BUF.BIN"}},
        {"/logo extract, member copy on a full disk", {"/logo", "extract"}, "MYLOGO.BMP\n",
         [] { full_device("FILE_BUF.BIN"); }, {"is extracted"},
         "Can't write FILE_BUF.BIN", {"FILE_BUF.BIN", "original.tmp"}},
        {"/CALS, the work archive cannot be renamed", {"/CALS", "data.bin"}, "",
         [] { busy_folder("bios.rom"); }, {"compressed size"}, "The packed data.bin is left in tempbios.rom.\n",
         {}, 0},
        {"/CALS, the work archive on a full disk", {"/CALS", "data.bin"}, "",
         [] { full_device("tempbios.rom"); }, {"compressed size"}, "", {"tempbios.rom"}},
        {"/acpi add, the work archive on a full disk", {"/acpi", "data.bin"}, "",
         [] { full_device("tempbios.rom"); }, {"Combine"}, "", {"tempbios.rom", "bios.rom"}},
    };
    for (const auto& row : rows) {
        // A write that failed ends the run with status 1, with or without /err.
        for (const bool err : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (err ? ", /err" : ""));
            testkit::WorkDir dir;
            testkit::MemberFields logo = testkit::stored_member(0x4000, 0, "MYLOGO.BMP", 0);
            logo.data = small_logo();
            testkit::MemberFields epa = logo;
            epa.type_segment = 0x4002;
            testkit::chain_image({testkit::member_bytes(logo), testkit::member_bytes(epa)}).image.save("img.bin");
            testkit::spit("data.bin", testkit::corpus(testkit::CorpusKind::Text, 3000));
            testkit::spit("MYLOGO.BMP", "old");
            const auto before = testkit::slurp("img.bin");
            row.break_disk();
            std::vector<std::string> args = {"img.bin"};
            args.insert(args.end(), row.args.begin(), row.args.end());
            if (err) args.push_back("/err");
            testkit::RunOptions options;
            options.input = row.input;
            const testkit::RunResult r = testkit::run_tool(args, options);
            EXPECT_EQ(r.status, err ? 1 : row.status_without_err) << r.out << r.err;
            for (const auto& claim : row.out_lacks) EXPECT_EQ(r.out.find(claim), std::string::npos) << r.out;
            EXPECT_NE(r.err.find(row.err_has), std::string::npos) << r.err;
            EXPECT_EQ(testkit::slurp("img.bin"), before);
            EXPECT_EQ(testkit::slurp("MYLOGO.BMP"), std::vector<std::uint8_t>({'o', 'l', 'd'}));
            for (const char* name : row.gone) EXPECT_FALSE(fs::exists(fs::symlink_status(name))) << name;
        }
    }
}

}  // namespace
