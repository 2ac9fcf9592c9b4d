// Adding components through the real binary: the outcome of each rule (slot,
// replacement, refusal, space) on the whole image, and the member each kind
// of input becomes, expanded by an independent LZH tool.
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "common/file.hpp"
#include "insert/add_testing.hpp"
#include "picture/logo_testing.hpp"
#include "testkit/components.hpp"
#include "testkit/corpus.hpp"
#include "testkit/linux_only.hpp"
#include "testkit/members.hpp"

using add_testing::chain_of;
using add_testing::segments;
using add_testing::tool;
using testkit::option_rom;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes rom(std::uint16_t device, std::uint8_t build = 1, std::uint32_t size = 0x1000) {
    return option_rom({.size = size, .device = device, .build = build});
}

Bytes packed(std::uint16_t segment, const Bytes& data, const std::string& name = "OLD.ROM") {
    return testkit::member_bytes(testkit::packed_member(segment, 0, name, data));
}

Bytes stored(std::uint16_t segment, std::uint32_t size, const std::string& name = "OLD.BIN") {
    return testkit::member_bytes(testkit::stored_member(segment, 0, name, size));
}

Bytes with_end_byte(Bytes member) {
    member.push_back(0);
    return member;
}

struct OutcomeCase {
    const char* what;
    std::vector<Bytes> members;          // the chain before the add
    std::map<std::string, Bytes> files;  // in the current directory
    std::vector<std::string> args;
    std::string err;                                  // the console channel, exactly
    std::optional<std::vector<std::uint16_t>> chain;  // the segments after; nothing: the image is unchanged
    int status = 0;
    std::function<void(testkit::SyntheticImage&)> touch = nullptr;
    std::function<void(const Bytes&)> then = nullptr;  // more checks on the image after the run
};

constexpr std::uint32_t kTop = testkit::kChainImageAreaEnd - 32 - 0x100;  // below a 0x100-byte microcode block

TEST(Add, EachRuleOnTheWholeImage) {
    const Bytes vga = rom(0x40);
    const Bytes isa = rom(0x77);
    const Bytes big = testkit::corpus(testkit::CorpusKind::Random, 0x30000);
    const auto fit = [](std::uint32_t extra) {  // a member whose extent ends at kTop, plus `extra`
        return with_end_byte(stored(0x4008, kTop - testkit::kChainStart - 35 + extra, "FIT.BIN"));
    };
    const Bytes big_isa = rom(0x79, 1, 0x18000);
    Bytes big_isa_changed = big_isa;
    big_isa_changed[0x12000] += 1;
    big_isa_changed[0x12001] -= 1;  // the sum stays 0
    Bytes damaged_vga = packed(0x4080, rom(0x40));
    damaged_vga[1] ^= 1;  // header sum
    Bytes huge = stored(0x4010, 0x10);
    huge[10] = 0x10;  // packed size 0x10000010
    Bytes isa_at_address = packed(0x40A0, rom(0x77));
    testkit::retag_member(isa_at_address, 0x40A0, 0xD800);
    std::vector<Bytes> pci_full;
    for (std::uint16_t i = 0; i < 26; ++i) pci_full.push_back(packed(0x4086 + i, rom(0x100 + i, 1, 0x200)));
    const auto ncpu = [](testkit::SyntheticImage& img) {
        img.put_ncpu_block(testkit::kChainImageAreaEnd, Bytes(0x100, 0x90));
    };
    const std::vector<OutcomeCase> cases = {
        {"a VGA ROM into an empty chain", {}, {{"vga.rom", vga}}, {"/vga", "vga.rom"}, "", {{0x4080}}},
        {"another VGA ROM takes the next slot",
         {packed(0x4080, rom(0x99))},
         {{"vga.rom", vga}},
         {"/vga", "vga.rom"},
         "",
         {{0x4080, 0x4081}}},
        {"a newer build of a present ROM replaces it at the end of the chain",
         {packed(0x4080, rom(0x40, 1)), packed(0x4086, rom(0x55))},
         {{"vga.rom", rom(0x40, 2)}},
         {"/vga", "vga.rom"},
         "",
         {{0x4086, 0x4080}}},
        {"a seventh VGA slot",
         {packed(0x4080, rom(1)), packed(0x4081, rom(2)), packed(0x4082, rom(3)), packed(0x4083, rom(4)),
          packed(0x4084, rom(5)), packed(0x4085, rom(6))},
         {{"vga.rom", vga}},
         {"/vga", "vga.rom"},
         "WARNING : VGA ROM Max 6 slots.\n",
         std::nullopt},
        {"the same ISA ROM again",
         {packed(0x40A4, isa)},
         {{"isa.rom", isa}},
         {"/isa", "isa.rom"},
         "CAUTION : This [isa.rom] ISA ROM Exist\n",
         std::nullopt},
        {"an ISA ROM with its address", {}, {{"isa.rom", isa}}, {"/isa", "isa.rom", "40A10000"}, "", {{0x40A1}}},
        {"a file that is no option ROM",
         {},
         {{"junk.bin", Bytes(600, 0x41)}},
         {"/vga", "junk.bin", "/err"},
         "CAUTION: junk.bin file is not BIOS ROM\n!!! Combine VGA have some error.\n",
         std::nullopt,
         1},
        {"no room: the component it would replace stays",
         {stored(0x4000, 0x10000)},
         {{"big.bin", big}},
         {"/logo", "big.bin", "/err"},
         "img.bin have not enough space for adding ROM. (Over 5023h bytes)\n\n!!! Combine Logo have some error.\n",
         std::nullopt,
         1},
        {"a damaged chain is not written over",
         {Bytes(40, 0x00)},
         {{"vga.rom", vga}},
         {"/vga", "vga.rom"},
         "Damaged component chain at 10000h: nothing added\n",
         std::nullopt},
        {"a member that ends at the microcode block fits",
         {},
         {{"fit.lzh", fit(0)}},
         {"/fnt0", "fit.lzh"},
         "",
         {{0x4008}},
         0,
         ncpu},
        {"one byte more runs into the microcode block",
         {},
         {{"fit.lzh", fit(1)}},
         {"/fnt0", "fit.lzh"},
         "img.bin have not enough space for adding ROM. (Over 0001h bytes)\n\n",
         std::nullopt,
         0,
         ncpu},
        {"a chain that reaches the walk's limit is full",
         {stored(0x4010, 0x2AFD0 - 36, "FILL.BIN")},
         {{"a.bin", Bytes(100, 1)}},
         {"/fnt0", "a.bin"},
         "img.bin have not enough space for adding ROM. (Over 0011h bytes)\n\n",
         std::nullopt},
        {"an uncompressed table that does not fit leaves nothing behind",
         {stored(0x4010, 0x2A000)},
         {{"tbl.bin", Bytes(0x1000, 0x33)}},
         {"/NoCompress", "tbl.bin"},
         "img.bin have not enough space for adding ROM. (Over 005Ch bytes)\n\n",
         std::nullopt},
        {"an ISA ROM kept with its address is compared, not broken",
         {isa_at_address},
         {{"isa.rom", isa}},
         {"/isa", "isa.rom"},
         "CAUTION : This [isa.rom] ISA ROM Exist\n",
         std::nullopt},
        {"ISA ROMs over 64 KiB are compared whole: the same one",
         {packed(0x40A4, big_isa)},
         {{"isa.rom", big_isa}},
         {"/isa", "isa.rom"},
         "CAUTION : This [isa.rom] ISA ROM Exist\n",
         std::nullopt},
        {"ISA ROMs over 64 KiB are compared whole: one that differs past 64 KiB",
         {packed(0x40A4, big_isa)},
         {{"isa.rom", big_isa_changed}},
         {"/isa", "isa.rom"},
         "",
         {{0x40A4, 0x40A4}}},
        {"a damaged ROM in the image ends the run before anything is written",
         {damaged_vga},
         {{"vga.rom", vga}},
         {"/vga", "vga.rom"},
         "",
         std::nullopt,
         1},
        {"a member that runs past the area is damage, not moved",
         {},
         {{"a.bin", Bytes(100, 1)}},
         {"/fnt0", "a.bin"},
         "Damaged component chain at 10000h: nothing added\n",
         std::nullopt,
         0,
         [](testkit::SyntheticImage& img) { img.put_member(testkit::kChainStart, stored(0x4000, 0x2B900)); }},
        {"a member whose size runs past the file",
         {huge},
         {{"a.bin", Bytes(100, 1)}},
         {"/fnt0", "a.bin"},
         "Damaged component chain at 10000h: nothing added\n",
         std::nullopt},
        {"an executable without a body",
         {},
         {{"e.exe", testkit::dos_executable({})}},
         {"/fnt0", "e.exe"},
         "e.exe holds no DOS executable body; nothing is added.\n",
         std::nullopt},
        {"an executable too short for its header length",
         {},
         {{"e.exe", Bytes{'M', 'Z', 0, 0}}},
         {"/fnt0", "e.exe"},
         "e.exe holds no DOS executable body; nothing is added.\n",
         std::nullopt},
        {"slot= pins the slot: a free one",
         {packed(0x4086, rom(0x55))},
         {{"pci.rom", rom(0x40)}},
         {"/pci", "pci.rom", "slot=D"},
         "",
         {{0x4086, 0x4089}}},
        {"slot= pins the slot: the member there is replaced",
         {packed(0x4086, rom(0x55)), packed(0x4087, rom(0x56))},
         {{"pci.rom", rom(0x40)}},
         {"/pci", "pci.rom", "name=LAN.ROM", "slot=a"},
         "",
         {{0x4087, 0x4086}}},
        {"slot= outside the kind's slots",
         {},
         {{"vga.rom", vga}},
         {"/vga", "vga.rom", "slot=7", "/err"},
         "slot=7 names no slot of /vga; nothing is added.\n!!! Combine VGA have some error.\n",
         std::nullopt,
         1},
        {"slot= on a kind without slots",
         {},
         {{"f.bin", Bytes(100, 1)}},
         {"/fnt0", "f.bin", "slot=1"},
         "/fnt0 has no slots: slot=1 names nothing; nothing is added.\n",
         std::nullopt},
        {"a 27th PCI slot",
         pci_full,
         {{"pci.rom", rom(0x40)}},
         {"/pci", "pci.rom", "/err"},
         "WARNING : PCI ROM Max 26 slots.\n!!! Combine PCI have some error.\n",
         std::nullopt,
         1},
        {"an add followed by a file given up keeps its sums right",
         {},
         {{"vga.rom", vga}, {"junk.bin", Bytes(9, 1)}},
         {"/vga", "vga.rom", "/pci", "junk.bin"},
         "CAUTION: junk.bin file is not BIOS ROM\n",
         {{0x4080}}},
        {"a member ending 5 bytes below the microcode block leaves a full chain, not a damaged one",
         {},
         {{"fit.lzh", fit(-5)}, {"a.bin", Bytes(100, 1)}},
         {"/fnt0", "fit.lzh"},
         "",
         {{0x4008}},
         0,
         ncpu,
         [](const Bytes&) {
             const auto next = tool({"/fnt1", "a.bin", "/err"});
             EXPECT_NE(next.err.find("img.bin have not enough space for adding ROM. (Over"), std::string::npos)
                 << next.err;
             EXPECT_NE(tool({"/D"}).out.find("FNT0 ROM"), std::string::npos);
             const auto check = tool({"/verify"});
             EXPECT_NE(check.out.find("chain ends at 3AEDBh: at the top block\n"), std::string::npos) << check.out;
         }},
        {"a release after another group keeps the microcode block",
         {stored(0x4009, 0x200, "F1.BIN"), stored(0x4008, 0x100, "F0.BIN")},
         {{"a.bin", Bytes(100, 1)}},
         {"/fnt2", "a.bin", "/fnt1", "release"},
         "",
         {{0x4008, 0x400A}},
         0,
         ncpu,
         [](const Bytes& after) {
             EXPECT_EQ(Bytes(after.begin() + kTop, after.begin() + kTop + 0x100), Bytes(0x100, 0x90));
             EXPECT_EQ(std::string(after.begin() + kTop + 0x100, after.begin() + kTop + 0x108), "*ALIN16*");
         }},
        {"slots seen taken by an earlier group stay taken in the run",
         {packed(0x4080, rom(0x40, 1)), packed(0x4081, rom(0x41, 1))},
         {{"a2.rom", rom(0x40, 2)}, {"b2.rom", rom(0x41, 2)}},
         {"/vga", "a2.rom", "/vga", "b2.rom"},
         "",
         {{0x4080, 0x4082}}},
    };
    for (const OutcomeCase& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::WorkDir dir;
        testkit::ChainImage img = testkit::chain_image(c.members);
        if (c.touch) c.touch(img.image);
        img.image.save("img.bin");
        for (const auto& [name, data] : c.files) testkit::spit(name, data);
        const Bytes before = testkit::slurp("img.bin");
        const testkit::RunResult r = tool(c.args);
        std::string err = r.err;
        err.erase(0, err.find_first_not_of('.'));  // the progress dots of a long pack
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(r.status, c.status);
        const Bytes after = testkit::slurp("img.bin");
        ASSERT_EQ(after.size(), before.size());
        if (!c.chain) {
            EXPECT_TRUE(after == before) << "the image changed";
            continue;
        }
        EXPECT_EQ(segments(chain_of(after)), *c.chain);
        EXPECT_EQ(testkit::word_sum(after), 0);
        if (c.then) c.then(after);
    }
}

}  // namespace

namespace {

// The original bytes of a member, expanded by bsdtar from the member copied
// out as a one-member archive; 7z must find the archive sound as well.
std::optional<Bytes> peer_expand(const add_testing::Member& m) {
    testkit::spit("one.lzh", with_end_byte(m.bytes));
    const auto tested = testkit::run_program("/usr/bin/7z", {"t", "one.lzh"});
    EXPECT_EQ(tested.status, 0) << m.name << ": " << tested.out;
    const auto r = testkit::run_program("/usr/bin/bsdtar", {"-xOf", "one.lzh"});
    if (r.status != 0) return std::nullopt;
    return Bytes(r.out.begin(), r.out.end());
}

struct PrepareCase {
    const char* what;
    std::map<std::string, Bytes> files;
    std::vector<std::string> args;
    std::uint16_t segment;
    std::string name, method;       // of the new member; method "" when either is right
    Bytes content;                  // what the member expands to
    std::vector<std::string> gone;  // work files that must not be left behind
};

TEST(Add, EachInputBecomesItsMember) {
    MOZAIK_LINUX_ONLY("bsdtar and 7z");
    MOZAIK_NEEDS(testkit::find_on_path("bsdtar") && testkit::find_on_path("7z"),
                 "bsdtar or 7z missing (make deps installs them)");
    const Bytes body = testkit::corpus(testkit::CorpusKind::Code, 5000, 3);
    const Bytes exe = testkit::dos_executable(body);
    const Bytes jpeg = testkit::corpus(testkit::CorpusKind::Random, 3000, 4);
    Bytes jpeg_member(16, 0);
    jpeg_member.insert(jpeg_member.end(), jpeg.begin(), jpeg.end());
    const Bytes dsdt = testkit::corpus(testkit::CorpusKind::Text, 900, 5);
    Bytes acpi = body;
    acpi.insert(acpi.end(), dsdt.begin(), dsdt.end());
    const std::vector<PrepareCase> cases = {
        {"an executable gives its body, stored",
         {{"font.exe", exe}},
         {"/fnt0", "font.exe"},
         0x4008,
         "font.exe",
         "-lh0-",
         body,
         {}},
        {"an OEM executable is the component whole",
         {{"oem.exe", exe}},
         {"/oem0", "oem.exe"},
         0x4012,
         "oem.exe",
         "",
         exe,
         {}},
        {"a VGA ROM in an executable is checked and stored as its body",
         {{"vga.exe", testkit::dos_executable(rom(0x40))}},
         {"/vga", "vga.exe"},
         0x4080,
         "vga.exe",
         "-lh0-",
         rom(0x40),
         {}},
        {"a JPEG picture gets 16 zero bytes in front",
         {{"pic.jpg", jpeg}},
         {"/JPEG", "pic.jpg"},
         0x4057,
         "KRV-JPEG.BIN",
         "",
         jpeg_member,
         {"KRV-JPEG.BIN"}},
        {"the microcode executable by default",
         {{"CPUCODE.EXE", exe}},
         {"/cpucode"},
         0x4001,
         "CPUCODE.BIN",
         "",
         body,
         {}},
        {"the ACPI executable by default, with DSDT.AML behind its body",
         {{"ACPITBL.EXE", exe}, {"DSDT.AML", dsdt}},
         {"/acpitbl"},
         0x4003,
         "ACPITBL.BIN",
         "",
         acpi,
         {}},
        {"a member file is placed as it stands",
         {{"old.lzh", with_end_byte(packed(0x4009, body, "F1.BIN"))}},
         {"/fnt1", "old.lzh"},
         0x4009,
         "F1.BIN",
         "-lh5-",
         body,
         {}},
    };
    for (const PrepareCase& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::WorkDir dir;
        testkit::chain_image({}).image.save("img.bin");
        for (const auto& [name, data] : c.files) testkit::spit(name, data);
        const testkit::RunResult r = tool(c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err.find_first_not_of('.'), std::string::npos) << r.err;
        const auto chain = chain_of(testkit::slurp("img.bin"));
        ASSERT_EQ(chain.size(), 1u);
        EXPECT_EQ(chain[0].segment, c.segment);
        EXPECT_EQ(chain[0].name, c.name);
        if (!c.method.empty()) {
            EXPECT_EQ(chain[0].method, c.method);
        }
        EXPECT_EQ(peer_expand(chain[0]), c.content);
        for (const auto& [name, data] : c.files) EXPECT_EQ(testkit::slurp(name), data) << name << " was changed";
        for (const std::string& work : c.gone) EXPECT_FALSE(file_exists(work)) << work;
    }
}

TEST(Add, NoCompressDataStartsOnSixteenBytes) {
    const Bytes table = testkit::corpus(testkit::CorpusKind::Text, 777, 6);
    for (const std::uint32_t filler : {0u, 1u, 5u, 11u}) {  // four free positions, four paddings
        testkit::WorkDir dir;
        testkit::chain_image({stored(0x4010, 100 + filler, "F.BIN")}).image.save("img.bin");
        testkit::spit("tbl.bin", table);
        ASSERT_EQ(tool({"/NoCompress", "tbl.bin"}).status, 0);
        const auto chain = chain_of(testkit::slurp("img.bin"));
        ASSERT_EQ(chain.size(), 2u);
        const auto& m = chain[1];
        EXPECT_EQ(m.method, "-lh0-");
        EXPECT_EQ((m.position + m.bytes[0] + 2) % 16, 0u) << filler;
        const Bytes data = m.data();
        ASSERT_GE(data.size(), table.size());
        EXPECT_TRUE(std::equal(table.begin(), table.end(), data.begin()));
    }
}

TEST(Add, LogoFromAPilBitmapReplacesTheOldLogo) {
    MOZAIK_LINUX_ONLY("Python's PIL to draw and read bitmaps");
    testkit::WorkDir dir;
    testkit::chain_image({stored(0x4000, 300, "OLD.BMP"), stored(0x4008, 200)}).image.save("img.bin");
    logo_testing::peer({"make8", "pic.bmp", "64", "32", "16", "ramp"});
    const testkit::RunResult r = tool({"/logo", "pic.bmp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(file_exists("KorvaBmp.bmp"));
    const auto chain = chain_of(testkit::slurp("img.bin"));
    ASSERT_EQ(segments(chain), (std::vector<std::uint16_t>{0x4008, 0x4000}));
    EXPECT_EQ(chain[1].name, "pic.bmp");
}

TEST(Add, MissingDefaultNeverTakesAnOldArchive) {
    testkit::WorkDir dir;
    testkit::chain_image({}).image.save("img.bin");
    testkit::spit("bios.rom", with_end_byte(packed(0x4003, Bytes(100, 7), "STALE.BIN")));
    const Bytes before = testkit::slurp("img.bin");
    const testkit::RunResult r = tool({"/acpi"});
    EXPECT_EQ(r.err, "Can't open ACPITBL.BIN\nNot found ACPITBL.BIN file !!!\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(testkit::slurp("img.bin") == before);
}

}  // namespace
