// Packing a file into the work archive.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/crc16.hpp"
#include "archive/extract.hpp"
#include "archive/pack.hpp"
#include "archive/settings.hpp"
#include "common/bytes.hpp"
#include "common/fatal.hpp"
#include "common/console.hpp"
#include "testkit/corpus.hpp"
#include "testkit/members.hpp"
#include "testkit/workdir.hpp"

namespace {

// Restores the settings a test changes.
struct SettingsGuard {
    ArchiveSettings saved = archive_settings();
    ~SettingsGuard() { archive_settings() = saved; }
};

std::string method_of(const std::vector<std::uint8_t>& archive) {
    return std::string(archive.begin() + 2, archive.begin() + 7);
}

TEST(CompressionRatio, TenthsOfAPercent) {
    EXPECT_EQ(compression_ratio(0, 0), 0u);
    EXPECT_EQ(compression_ratio(5, 0), 0u);
    EXPECT_EQ(compression_ratio(100, 100), 1000u);
    EXPECT_EQ(compression_ratio(1, 3), 333u);
    EXPECT_EQ(compression_ratio(2, 3), 667u);  // rounded to nearest
    EXPECT_EQ(compression_ratio(1, 2000), 1u);  // 0.5 rounds up
    // Large values keep within 32 bits.
    EXPECT_EQ(compression_ratio(4000000000u, 4000000000u), 1000u);
    EXPECT_EQ(compression_ratio(3000000000u, 4000000000u), 750u);
    EXPECT_EQ(compression_ratio(429496730u, 858993460u), 500u);
    // packed + original / 2 would pass 32 bits: both are halved first.
    EXPECT_EQ(compression_ratio(0xFFFFFFFFu, 0xFFFFFFFFu), 1000u);
    EXPECT_EQ(compression_ratio(0xFFFFFFFFu, 0xFFFFFFFFu / 2), 2000u);
}

TEST(Pack, CompressedMemberInTheArchive) {
    testkit::WorkDir dir;
    SettingsGuard guard;
    archive_settings().type_id = "4080:0";
    const auto input = testkit::corpus(testkit::CorpusKind::Code, 40000);
    testkit::spit("vga.rom", input);
    std::string name = "vga.rom";
    console::Capture cap;
    EXPECT_TRUE(pack_component(name, pack_flags::kQuiet));
    EXPECT_EQ(cap.out() + cap.err(), "");
    EXPECT_EQ(name, "vga.rom");
    EXPECT_FALSE(file_exists("tempbios.rom"));
    const auto archive = testkit::slurp("bios.rom");
    // Exactly what an independent assembly of the same member gives, and an end byte.
    auto expected = testkit::member_bytes(testkit::packed_member(0x4080, 0, "vga.rom", input));
    expected.push_back(0);
    EXPECT_EQ(archive, expected);
    EXPECT_EQ(method_of(archive), "-lh5-");
    const std::uint32_t packed = bytes::le32(&archive[7]);
    EXPECT_EQ(archive.size(), 28 + 7 + packed);
    EXPECT_EQ(bytes::le16(&archive[22 + 7]), crc16::update(0, input));
    // And it expands back.
    extract_component();
    EXPECT_EQ(testkit::slurp("original.tmp"), input);
}

TEST(Pack, VerboseProgressAndRatio) {
    testkit::WorkDir dir;
    // 8448 bytes in the first piece, 8192 per slide of the window with one
    // dot each: four slides, the last reading nothing.
    testkit::spit("t.txt", testkit::corpus(testkit::CorpusKind::Text, 8448 + 3 * 8192));
    std::string name = "t.txt";
    console::Capture cap;
    EXPECT_TRUE(pack_component(name, pack_flags::kVerbose));
    const auto archive = testkit::slurp("bios.rom");
    const std::uint32_t packed = bytes::le32(&archive[7]), original = bytes::le32(&archive[11]);
    const std::uint32_t r = compression_ratio(packed, original);
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, " %u.%u%%\n", r / 10, r % 10);
    EXPECT_EQ(cap.out(), std::string("Adding t.txt ") + ratio);
    EXPECT_EQ(cap.err(), "....");
}

TEST(Pack, EmptyAndIncompressibleInputsAreStored) {
    testkit::WorkDir dir;
    testkit::spit("empty.bin", std::vector<std::uint8_t>{});
    std::string name = "empty.bin";
    console::Capture cap;
    EXPECT_TRUE(pack_component(name, pack_flags::kVerbose));
    auto archive = testkit::slurp("bios.rom");
    EXPECT_EQ(method_of(archive), "-lh0-");
    EXPECT_EQ(bytes::le32(&archive[7]), 0u);
    EXPECT_EQ(bytes::le32(&archive[11]), 0u);
    EXPECT_EQ(bytes::le16(&archive[22 + 9]), 0u);
    EXPECT_EQ(archive.size(), 28u + 9u);
    EXPECT_EQ(cap.out(), "Adding empty.bin  0.0%\n");

    const auto noise = testkit::corpus(testkit::CorpusKind::Random, 20000);
    testkit::spit("noise.bin", noise);
    name = "noise.bin";
    EXPECT_TRUE(pack_component(name, pack_flags::kVerbose));
    archive = testkit::slurp("bios.rom");
    EXPECT_EQ(method_of(archive), "-lh0-");
    EXPECT_EQ(bytes::le32(&archive[7]), 20000u);
    EXPECT_EQ(std::vector<std::uint8_t>(archive.begin() + 36, archive.end() - 1), noise);
    EXPECT_EQ(archive.back(), 0);
    EXPECT_EQ(cap.out(), "Adding empty.bin  0.0%\nAdding noise.bin  100.0%\n");
}

TEST(Pack, StreamAsLongAsTheInputStaysCompressed) {
    // Nine zeros code into nine bytes: the last byte may make the stream as
    // long as the input read, so the member stays "-lh5-".
    testkit::WorkDir dir;
    testkit::spit("z9.bin", std::vector<std::uint8_t>(9, 0));
    std::string name = "z9.bin";
    console::Capture cap;
    EXPECT_TRUE(pack_component(name, pack_flags::kVerbose));
    const auto archive = testkit::slurp("bios.rom");
    EXPECT_EQ(method_of(archive), "-lh5-");
    EXPECT_EQ(bytes::le32(&archive[7]), 9u);
    EXPECT_EQ(cap.out(), "Adding z9.bin  100.0%\n");
    extract_component();
    EXPECT_EQ(testkit::slurp("original.tmp"), std::vector<std::uint8_t>(9, 0));
}

TEST(Pack, StoringOnRequest) {
    testkit::WorkDir dir;
    const std::vector<std::uint8_t> zeros(5000, 0);
    testkit::spit("z.bin", zeros);
    std::string name = "z.bin";
    console::Capture cap;
    EXPECT_TRUE(pack_component(name, pack_flags::kStore));  // quiet
    EXPECT_EQ(cap.out() + cap.err(), "");
    auto archive = testkit::slurp("bios.rom");
    EXPECT_EQ(method_of(archive), "-lh0-");
    EXPECT_EQ(bytes::le32(&archive[7]), 5000u);
    EXPECT_EQ(bytes::le16(&archive[22 + 5]), crc16::update(0, zeros));
    EXPECT_TRUE(pack_component(name, pack_flags::kStore | pack_flags::kVerbose));
    EXPECT_EQ(cap.out(), "Adding z.bin  100.0%\n");
    EXPECT_EQ(testkit::slurp("bios.rom"), archive);
}

TEST(Pack, StoredNameAndTypeIdInTheHeader) {
    testkit::WorkDir dir;
    SettingsGuard guard;
    archive_settings().type_id = "40a4:0";
    testkit::spit("KorvaBmp.bmp", testkit::corpus(testkit::CorpusKind::Runs, 3000));
    std::string name = "KorvaBmp.bmp";
    console::Capture cap;
    EXPECT_TRUE(pack_component(name, pack_flags::kVerbose, "logo.bmp"));
    EXPECT_EQ(cap.out().rfind("Adding logo.bmp ", 0), 0u) << cap.out();  // the stored name
    auto archive = testkit::slurp("bios.rom");
    EXPECT_EQ(archive[21], 8);
    EXPECT_EQ(std::string(archive.begin() + 22, archive.begin() + 30), "logo.bmp");
    EXPECT_EQ(std::vector<std::uint8_t>(archive.begin() + 15, archive.begin() + 19),
              (std::vector<std::uint8_t>{0, 0, 0xA4, 0x40}));
    EXPECT_TRUE(pack_component(name, pack_flags::kQuiet));
    archive = testkit::slurp("bios.rom");
    EXPECT_EQ(archive[0], 37);  // N = 12
    EXPECT_EQ(std::string(archive.begin() + 22, archive.begin() + 34), "KorvaBmp.bmp");
}

TEST(Pack, WorkArchiveNameSetting) {
    testkit::WorkDir dir;
    SettingsGuard guard;
    archive_settings().archive_name = "FILE_BUF.STV";
    testkit::spit("in.bin", testkit::corpus(testkit::CorpusKind::Text, 1000));
    testkit::spit("FILE_BUF.STV", "old content");
    std::string name = "in.bin";
    EXPECT_TRUE(pack_component(name, pack_flags::kQuiet));
    EXPECT_FALSE(file_exists("bios.rom"));
    EXPECT_EQ(testkit::slurp("FILE_BUF.STV")[0], 31);  // H of "in.bin"
}

TEST(Pack, MissingInputLeavesTheArchive) {
    testkit::WorkDir dir;
    testkit::spit("bios.rom", "previous");
    std::string name = "nothere.rom";
    console::Capture cap;
    EXPECT_FALSE(pack_component(name, pack_flags::kVerbose));
    EXPECT_EQ(cap.err(), "Can't open nothere.rom\n");
    EXPECT_EQ(cap.out(), "");
    EXPECT_EQ(testkit::slurp("bios.rom"), std::vector<std::uint8_t>({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
    // The temporary file was made before the input was tried, and stays, empty.
    EXPECT_TRUE(file_exists("tempbios.rom"));
    EXPECT_TRUE(testkit::slurp("tempbios.rom").empty());
}

TEST(Pack, InputThatIsAWorkFileIsRefused) {
    testkit::WorkDir dir;
    SettingsGuard guard;
    const auto user = testkit::corpus(testkit::CorpusKind::Text, 3000);
    console::Capture cap;
    // The temporary file would be truncated before it is read.
    testkit::spit("tempbios.rom", user);
    testkit::spit("bios.rom", "previous");
    std::string name = "tempbios.rom";
    EXPECT_FALSE(pack_component(name, pack_flags::kVerbose));
    EXPECT_EQ(testkit::slurp("tempbios.rom"), user);
    EXPECT_EQ(testkit::slurp("bios.rom").size(), 8u);
    // The archive itself would be replaced by an archive of it, whatever the
    // path that names it.
    std::filesystem::remove("tempbios.rom");
    testkit::spit("bios.rom", user);
    name = "./bios.rom";
    EXPECT_FALSE(pack_component(name, pack_flags::kVerbose));
    EXPECT_EQ(testkit::slurp("bios.rom"), user);
    EXPECT_FALSE(file_exists("tempbios.rom"));
    // Under another archive name, that name is the one guarded.
    archive_settings().archive_name = "FILE_BUF.STV";
    testkit::spit("FILE_BUF.STV", user);
    name = "FILE_BUF.STV";
    EXPECT_FALSE(pack_component(name, pack_flags::kQuiet));
    EXPECT_EQ(testkit::slurp("FILE_BUF.STV"), user);
    EXPECT_EQ(cap.out(), "");
    EXPECT_EQ(cap.err(),
              "Can't pack tempbios.rom: it is the work file tempbios.rom\n"
              "Can't pack ./bios.rom: it is the work file bios.rom\n"
              "Can't pack FILE_BUF.STV: it is the work file FILE_BUF.STV\n");
    // bios.rom is an ordinary input when the archive has another name.
    name = "bios.rom";
    EXPECT_TRUE(pack_component(name, pack_flags::kQuiet));
    EXPECT_EQ(testkit::slurp("bios.rom"), user);
    EXPECT_EQ(testkit::slurp("FILE_BUF.STV")[0], 33);  // H of "bios.rom"
}

// The fatal message of a pack into an archive whose temporary file is the
// full device: every write to it fails.
std::string pack_onto_full_device(const std::vector<std::uint8_t>& input) {
    std::filesystem::remove("tempbios.rom");
    std::filesystem::create_symlink("/dev/full", "tempbios.rom");
    testkit::spit("in.bin", input);
    std::string name = "in.bin";
    try {
        (void)pack_component(name, pack_flags::kQuiet);  // ends in a fatal error
    } catch (const FatalError& e) {
        return e.message;
    }
    return "(no fatal error)";
}

TEST(Pack, WriteErrorsEndTheRun) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    testkit::WorkDir dir;
    testkit::spit("bios.rom", "previous");
    // Compressed: the writes go wrong unseen, and the end finds them.
    EXPECT_EQ(pack_onto_full_device(testkit::corpus(testkit::CorpusKind::Text, 20000)), "Can't write");
    // Stored: the copy itself fails.
    EXPECT_EQ(pack_onto_full_device(testkit::corpus(testkit::CorpusKind::Random, 20000)), "Unable to write");
    // Neither replaced the archive.
    EXPECT_EQ(testkit::slurp("bios.rom").size(), 8u);
}

TEST(Pack, OverlongNameIsRefused) {
    testkit::WorkDir dir;
    testkit::spit("bios.rom", "previous");
    testkit::spit("in.bin", "data");
    std::string name = "in.bin";
    console::Capture cap;
    EXPECT_FALSE(pack_component(name, pack_flags::kQuiet, std::string(231, 'n')));
    EXPECT_EQ(cap.err().rfind("Name too long: nnn", 0), 0u);  // (wrapped at 80 columns)
    EXPECT_EQ(testkit::slurp("bios.rom").size(), 8u);
}

TEST(Pack, WorkFilesThatCannotBeWritten) {
    testkit::WorkDir dir;
    SettingsGuard guard;
    testkit::spit("in.bin", testkit::corpus(testkit::CorpusKind::Text, 2000));
    // The archive name is a folder with something in it: the rename fails,
    // the run goes on, and the member stays in "tempbios.rom".
    std::filesystem::create_directories("busy/inside");
    archive_settings().archive_name = "busy";
    std::string name = "in.bin";
    console::Capture cap;
    EXPECT_FALSE(pack_component(name, pack_flags::kQuiet));
    EXPECT_EQ(cap.out(), "Can't rename");
    EXPECT_EQ(testkit::slurp("tempbios.rom")[0], 31);
    // The temporary file cannot be created at all: fatal.
    std::filesystem::remove("tempbios.rom");
    std::filesystem::create_directory("tempbios.rom");
    try {
        (void)pack_component(name, pack_flags::kQuiet);  // ends in a fatal error
        ADD_FAILURE() << "expected a fatal error";
    } catch (const FatalError& e) {
        EXPECT_EQ(e.message, "Can't open temporary file");
    }
}

TEST(Pack, ManyPacksInOneProcessAgree) {
    testkit::WorkDir dir;
    const auto a = testkit::corpus(testkit::CorpusKind::Code, 12000, 1);
    testkit::spit("a.bin", a);
    testkit::spit("b.bin", testkit::corpus(testkit::CorpusKind::Text, 70000, 2));
    std::string name = "a.bin";
    EXPECT_TRUE(pack_component(name, pack_flags::kQuiet));
    const auto first = testkit::slurp("bios.rom");
    name = "b.bin";
    EXPECT_TRUE(pack_component(name, pack_flags::kStore));
    name = "b.bin";
    EXPECT_TRUE(pack_component(name, pack_flags::kQuiet));
    name = "a.bin";
    EXPECT_TRUE(pack_component(name, pack_flags::kQuiet));
    EXPECT_EQ(testkit::slurp("bios.rom"), first);
}

}  // namespace
