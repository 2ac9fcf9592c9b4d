// Content checks on real option ROMs and an ACPI table as Debian packages
// them (seabios, ipxe-qemu, qemu-system-data), on the tool's own pictures and
// on test-kit microcode: each under its own kind passes clean, each mismatch
// is one problem with its text; then /verify, /json and /dry of an image.
#include "image/content_checks.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "common/bytes.hpp"
#include "common/catalogue.hpp"
#include "picture/logo.hpp"
#include "testkit/components.hpp"
#include "testkit/extract_kit.hpp"
#include "testkit/json_schema.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/microcode_builder.hpp"
#include "testkit/run.hpp"
#include "testkit/workdir.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const std::string kSea = "/usr/share/seabios/", kIpxe = "/usr/lib/ipxe/qemu/", kQemu = "/usr/share/qemu/";

// A Windows bitmap of 8 x 2 pixels, 4 or 8 bits a pixel (a row of `bits`
// bytes), uncompressed, with a black palette.
Bytes bitmap(std::uint32_t bits) {
    const std::uint32_t offset = 54 + (bits == 4 ? 64 : 1024);
    Bytes b(offset, 0);
    b.resize(offset + 2 * bits, 0x01);
    b[0] = 'B', b[1] = 'M';
    for (auto [at, v] : {std::pair{2u, std::uint32_t(b.size())},
                         {6u, 0u},
                         {10u, offset},
                         {14u, 40u},
                         {18u, 8u},
                         {22u, 2u},
                         {26u, 1u},
                         {28u, bits},
                         {30u, 0u}})
        bytes::put32(&b[at], v);
    return b;
}

struct Row {
    std::uint16_t segment;  // the member is named by it, as the listing names it
    Bytes content;
    std::string problem;    // after "NAME at 14632h: "; empty: clean
    std::string what = {};  // a file of the corpus: its path
};

std::vector<Row> rows() {
    std::vector<Row> r;
    for (const fs::directory_entry& e : fs::directory_iterator(kSea))
        if (e.path().filename().string().starts_with("vgabios-") && !e.is_symlink())
            r.push_back({0x4081, testkit::slurp(e.path().string()), "", e.path().string()});
    for (const fs::directory_entry& e : fs::directory_iterator(kIpxe))
        r.push_back({0x4086, testkit::slurp(e.path().string()), "", e.path().string()});
    for (const char* f : {"sgabios", "linuxboot", "linuxboot_dma", "kvmvapic", "multiboot", "multiboot_dma", "pvh"})
        r.push_back({0x40A4, testkit::slurp((kQemu + f).append(".bin")), "", (kQemu + f).append(".bin")});
    const Bytes dsdt = testkit::slurp(kSea + "acpi-dsdt.aml"), vga = testkit::slurp(kSea + "vgabios-stdvga.bin");
    const auto logo = [](int bits, LogoMode mode) { return logo_convert(bitmap(bits), "b", mode, 0, false).image; };
    const Bytes intel = testkit::intel_microcode({.total_size = 4096});
    const Bytes microcode = testkit::concat({intel, testkit::bridge_microcode({}), Bytes(2048, 0xFF)});
    const Bytes exe = testkit::dos_executable(Bytes(0x200, 0x42));
    const auto cut = [](Bytes b, std::size_t n) { return b.resize(n), b; };
    const auto plus_one = [](Bytes b, std::size_t at) { return ++b[at], b; };
    const std::vector<Row> more = {
        {0x4003, dsdt, "", kSea + "acpi-dsdt.aml"},
        {0x4003, cut(testkit::concat({dsdt, dsdt}), 2 * dsdt.size() + 64), "", "two tables, then padding"},
        {0x4000, logo(4, LogoMode::Logo), ""},
        {0x4000, logo(8, LogoMode::Logo), "", "framed"},
        {0x404E, osb_convert(bitmap(8), "b", OsbPosition{100, 200}).image, "", "OSB at a position"},
        {0x4001, microcode, ""},
        {0x4012, exe, "", "an executable stored whole"},
        {0x4081, testkit::option_rom({.sub_class = 1, .base_class = 0}), "", "VGA from before class codes"},
        {0x4081, testkit::option_rom({.sub_class = 0, .base_class = 0}),
         "PCI class 00h (unclassified), a VGA ROM has class 03h"},
        {0x4081, testkit::slurp(kIpxe + "pxe-e1000.rom"), "PCI class 02h (network), a VGA ROM has class 03h"},
        {0x4081, cut(vga, 0x9000), "length byte 4Eh at 00002h says 09C00h bytes, 09000h are there"},
        {0x4081, plus_one(vga, 0x100), "bytes 00000h-09BFFh sum to 01h, an option ROM's sum to 00h"},
        {0x4086, cut(testkit::slurp(kIpxe + "efi-e1000.rom"), 0x20000),
         "image 2 at 12600h says 2AA00h bytes, 0DA00h are there"},
        {0x4081, Bytes{0xFF, 0xD8, 0xFF}, "begins FF D8h, an option ROM begins 55 AAh"},
        {0x4003, plus_one(dsdt, 40), "table DSDT at 00000h sums to 01h, an ACPI table sums to 00h"},
        {0x4003, cut(dsdt, dsdt.size() - 1),
         "table DSDT at 00000h says 4585 bytes, 4584 are there (a table has at least 36)"},
        {0x4003, vga, "begins 55 AA 4E E9h, an ACPI table begins with its signature"},
        {0x4000, bitmap(8), "a Windows bitmap, /logo holds a logo picture (converted from it)"},
        {0x4000, cut(logo(4, LogoMode::Logo), 8 + 2 * 4 + 4 + 47),
         "8 x 2 with no \"RGB \" palette behind its rows, a logo picture has one"},
        {0x4001, plus_one(microcode, 100), "record at 00000h sums to 00000001h, a microcode update sums to 0"},
        {0x4001, plus_one(microcode, 4096 + 100),
         "record at 01000h: words 64-1855 sum to BE7E3F21h, its word at 12 is BE7E3F20h"},
        {0x4001, cut(intel, 3000), "record at 00000h says 4096 bytes, 3000 are there"},
        {0x4001, Bytes(2048, 0xFF), "begins FFh, no microcode record, a /cpucode component holds one or more"},
        {0x4006, exe, "a whole DOS executable (MZ), /hpc stores its body"},
    };
    r.insert(r.end(), more.begin(), more.end());
    return r;
}

#define NEEDS_CORPUS()                                                                        \
    MOZAIK_LINUX_ONLY("the firmware files of Debian packages");                               \
    MOZAIK_NEEDS(fs::exists(kSea + "acpi-dsdt.aml") && fs::exists(kIpxe + "efi-e1000.rom") && \
                     fs::exists(kQemu + "sgabios.bin"),                                       \
                 "the seabios, ipxe-qemu and qemu-system-data packages")

TEST(ContentChecks, EachRowUnderItsKind) {
    NEEDS_CORPUS();
    const std::vector<Row> table = rows();
    EXPECT_GE(table.size(), 50u);  // the whole corpus was found
    for (const Row& row : table) {
        SCOPED_TRACE(row.what.empty() ? row.problem : row.what);
        const std::string name = without_padding(listing_name(row.segment, 0));
        std::vector<std::string> texts, expected;
        for (const ContentProblem& p : check_content({row.segment, 0, name, 0x14632}, row.content))
            texts.push_back(p.text);
        if (!row.problem.empty()) expected.push_back((name + " at 14632h: ").append(row.problem));
        EXPECT_EQ(texts, expected);
    }
}

// One mismatch through the tool: /dry foretells it for the add, /verify
// prints it as a problem, /json carries it in the member's verdict.
TEST(ContentChecks, VerifyJsonAndDryNameTheMismatch) {
    NEEDS_CORPUS();
    testkit::WorkDir dir;
    testkit::chain_image({}, testkit::kChainImageAreaEnd).image.save("img.bin");
    testkit::spit("net.rom", testkit::slurp(kIpxe + "pxe-e1000.rom"));
    testkit::spit("logo.bmp", bitmap(4));
    const std::string vga = kSea + "vgabios-stdvga.bin", dsdt = kSea + "acpi-dsdt.aml";
    ASSERT_EQ(testkit::run_tool({"img.bin", "/vga", vga, "/logo", "logo.bmp", "/acpi", dsdt}).status, 0);
    const auto clean = testkit::run_tool({"img.bin", "/verify"});
    EXPECT_TRUE(clean.out.ends_with(" 0 problems found\n")) << clean.out;

    const auto dry = testkit::run_tool({"img.bin", "/vga", "net.rom", "/dry"});
    const auto dry_json = testkit::run_tool({"img.bin", "/vga", "net.rom", "/dry", "/json"});
    ASSERT_EQ(testkit::run_tool({"img.bin", "/vga", "net.rom"}).status, 0);
    const auto verify = testkit::run_tool({"img.bin", "/verify"});
    EXPECT_EQ(verify.status, 1);
    EXPECT_TRUE(verify.out.ends_with(" 1 problems found\n")) << verify.out;
    const std::size_t lead = verify.out.find("\nVGA ROM[2] at ") + 1;
    ASSERT_GT(lead, 0u) << verify.out;
    const std::string line = verify.out.substr(lead, verify.out.find('\n', lead) - lead);
    EXPECT_TRUE(line.ends_with("h: PCI class 02h (network), a VGA ROM has class 03h")) << line;
    // Laid out for 80 columns: broken at a blank, never inside a number.
    EXPECT_NE(testkit::unfolded(dry.out).find("problem   " + line), std::string::npos) << dry.out;
    const auto json = testkit::run_tool({"img.bin", "/json"});
    const auto text_after = [](const std::string& doc, const std::string& code) {
        const std::size_t at = doc.find(("\"code\": \"" + code).append("\""));
        return at == std::string::npos ? std::string() : testkit::json_field(doc, "text", at);
    };
    EXPECT_EQ(text_after(json.out, "content_mismatch"), line) << json.out;
    EXPECT_EQ(text_after(dry_json.out, "content_pci_class"), line) << dry_json.out;
    const std::optional<std::string> errors = testkit::schema_errors({json.out, dry_json.out});
    EXPECT_EQ(errors.value_or(""), "");
}

// Every real ROM and table of the corpus, added under its kind to an
// image, passes /verify clean.
TEST(ContentChecks, TheCorpusPassesVerifyInsideAnImage) {
    NEEDS_CORPUS();
    testkit::WorkDir dir;
    ASSERT_EQ(testkit::run_program(MKIMAGE_BINARY, {"base.bin", "--size", "512K", "--chain", "empty"}).status, 0);
    const std::map<std::uint16_t, std::string> switch_of = {
        {0x4081, "/vga"}, {0x4086, "/pci"}, {0x40A4, "/isa"}, {0x4003, "/acpi"}};
    int added = 0;
    for (const Row& row : rows()) {
        if (!row.problem.empty() || !row.what.starts_with("/usr/")) continue;
        SCOPED_TRACE(row.what);
        fs::remove("img.bin");
        fs::copy_file("base.bin", "img.bin");
        ASSERT_EQ(testkit::run_tool({"img.bin", switch_of.at(row.segment), row.what}).status, 0);
        const testkit::RunResult verify = testkit::run_tool({"img.bin", "/verify"});
        EXPECT_EQ(verify.status, 0) << verify.out;
        EXPECT_TRUE(verify.out.ends_with("2 members checked, 0 problems found\n")) << verify.out;
        ++added;
    }
    EXPECT_GE(added, 30);  // every file of the three packages
}

}  // namespace
