// Work files and targets that cannot be written, through the real binary:
// every failure is reported, ends with status 1, claims nothing, leaves the
// image byte-identical and leaves no temporary file.
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
void busy_folder(const char* name) {
    fs::create_directories(std::string(name) + "/inside");
}

// No temporary file of the tool's is left in the folder.
bool no_temporary_left() {
    for (const auto& e : fs::directory_iterator("."))
        if (e.path().filename().string().ends_with(".tmp")) return false;
    return true;
}

struct DiskCase {
    const char* what;
    std::vector<std::string> args;
    std::string input;
    std::function<void()> break_disk;
    std::vector<std::string> out_lacks;  // claims a failed run must not make
    std::string err_has;
};

TEST(FailingDisk, EveryWriteFailureIsReportedAndTheImageStaysAsItWas) {
    std::vector<DiskCase> rows = {
        {"/logo extract, the target is a folder in use",
         {"/logo", "extract"},
         "OUT.BMP\n",
         [] { busy_folder("OUT.BMP"); },
         {"is extracted"},
         "Can't write OUT.BMP"},
        {"/epa extract, the target's folder is a file",
         {"/epa", "extract"},
         "plain/OUT.BMP\n",
         [] { testkit::spit("plain", "a file"); },
         {"is extracted"},
         "Can't write plain/OUT.BMP"},
        {"/CALS, the work archive cannot be written",
         {"/CALS", "data.bin"},
         "",
         [] { busy_folder("bios.rom"); },
         {"compressed size"},
         "Can't write bios.rom\n"},
        {"/acpi add, the work archive cannot be written",
         {"/acpi", "data.bin"},
         "",
         [] { busy_folder("bios.rom"); },
         {"Combine"},
         "Can't write bios.rom\n"},
    };
    // A write that fails part of the way: the target is a link to a full disk.
    if (fs::exists("/dev/full"))
        rows.push_back({"/logo extract onto a full disk",
                        {"/logo", "extract"},
                        "FULL.BMP\n",
                        [] { fs::create_symlink("/dev/full", "FULL.BMP"); },
                        {"is extracted"},
                        "Can't write FULL.BMP"});
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
            const auto before = testkit::slurp("img.bin");
            row.break_disk();
            std::vector<std::string> args = {"img.bin"};
            args.insert(args.end(), row.args.begin(), row.args.end());
            if (err) args.push_back("/err");
            testkit::RunOptions options;
            options.input = row.input;
            const testkit::RunResult r = testkit::run_tool(args, options);
            EXPECT_EQ(r.status, 1) << r.out << r.err;
            for (const auto& claim : row.out_lacks) EXPECT_EQ(r.out.find(claim), std::string::npos) << r.out;
            EXPECT_NE(r.err.find(row.err_has), std::string::npos) << r.err;
            EXPECT_EQ(testkit::slurp("img.bin"), before);
            EXPECT_TRUE(no_temporary_left());
        }
    }
}

}  // namespace
